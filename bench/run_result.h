#pragma once

#include "sender.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ingest
{

// One flood, measured alike for the window and the bare loop.
struct RunResult {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    std::uint64_t socketDrops = 0;
    double seconds = 1;
    bool inOrder = true;
    double faultsPerSecond = 0;
    double guiCpu = 0;  // share of one core, GUI thread
    double restCpu = 0; // share of one core, the rest of the process (receive thread)
    std::vector<double> lateMs;

    double lossPercent() const { return sent ? 100.0 * double(sent - received) / double(sent) : 0; }
    double receivedPerSecond() const { return double(received) / seconds; }
    double sentPerSecond() const { return double(sent) / seconds; }
};

// Counts the lines of one flood: those whose sequence lies in the flood's range, each
// higher than the one before.
template <typename TextAt>
void tally(RunResult &r, std::uint64_t firstSeq, std::size_t from, std::size_t to, TextAt text)
{
    std::uint64_t previous = 0;
    bool any = false;
    for (std::size_t i = from; i < to; ++i) {
        std::uint64_t seq, stamp;
        if (!parseDatagram(text(i), seq, stamp) || seq < firstSeq || seq >= firstSeq + r.sent)
            continue;
        if (any && seq <= previous)
            r.inOrder = false;
        previous = seq;
        any = true;
        ++r.received;
    }
}

} // namespace ingest
