#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ingest
{

// The command line: what to measure and how often (see bench/README.md).
struct Options {
    int durationMs = 1000;
    int runs = 3;
    std::vector<std::uint32_t> rates{10000, 20000, 50000, 100000, 200000, 0};
    bool large = true;
    std::size_t held = 1000000;
    QString snapshot;                 // a picture of the window after the runs with lines held
    std::uint32_t cycleRate = 100000; // the rate of the table by cycle text
    bool pressureOnly = false;        // only the figures under pressure
};

// Reads the command line into options. Returns -1 to go on, or the exit code after it printed
// the usage (0 for --help).
int parseOptions(int argc, char **argv, Options &options);

} // namespace ingest
