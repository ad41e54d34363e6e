#pragma once

// The sender: a process of its own that floods a port on 127.0.0.1 with datagrams when told,
// so that it never shares a thread, a lock or an allocator with the receiving side.

#include <cstdint>
#include <string_view>
#include <sys/types.h>

namespace ingest
{

// Datagrams: "<seq, 16 hex> <monotonic send time in ns, 16 hex> " and letters up to the size.
// Only printable bytes, since the window cuts a line at the first byte below 32.
constexpr std::size_t kHeadLength = 34;

void formatDatagram(char *out, std::size_t size, std::uint64_t seq, std::uint64_t stamp);
bool parseDatagram(std::string_view line, std::uint64_t &seq, std::uint64_t &stamp);

struct SendOrder {
    std::uint32_t port = 0; // 0: end the process
    std::uint32_t rate = 0; // datagrams per second; 0: as fast as possible
    std::uint32_t size = 64;
    std::uint32_t durationMs = 1000;
    std::uint64_t firstSeq = 0;
};

struct SendReport {
    std::uint64_t sent = 0;
    std::uint64_t elapsedNs = 0;
};

// The benchmark's side of the sender process, which takes orders over a socket pair and
// answers with how many it sent.
struct Sender {
    int channel = -1;
    pid_t pid = -1; // below 0 when it could not be started

    // Starts a flood and runs the event loop until the sender reports.
    SendReport flood(const SendOrder &order);
    // Ends the process.
    void stop();
};

// Forks the sender process. Call it before Qt starts any thread.
Sender startSender();

} // namespace ingest
