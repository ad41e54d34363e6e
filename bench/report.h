#pragma once

#include "options.h"
#include "window_bench.h"

#include <vector>

namespace ingest
{

// The figures under pressure: a key typed with a million long lines held, memory after
// rounds of many lines and Clear, and loss by the cycle field's text.
struct Pressure {
    double keyMs = 0;
    std::vector<long> cleared; // KiB after each Clear
    std::vector<WindowBench::CyclePoint> cycles;

    // Its lines of the goals.
    void print(const Options &options) const;
};

Pressure underPressure(WindowBench &bench, const Options &options);

// The goals of a full run, each with its figure and whether it was met.
void printGoals(const Options &options, const WindowBench &bench,
                const std::vector<WindowBench::Point> &empty,
                const std::vector<WindowBench::Point> &held, const Pressure &pressure);

} // namespace ingest
