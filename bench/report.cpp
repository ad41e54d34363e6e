#include "report.h"

#include "measure.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

namespace ingest
{

namespace
{

// Loss within 0.5 points of the bare loop's at every rate up to 100k/s.
double worstLossGap(const std::vector<WindowBench::Point> &points)
{
    double worst = 0;
    for (const auto &p : points)
        if (p.rate && p.rate <= 100000)
            worst = std::max(worst, p.lossGap);
    return worst;
}

double saturationRatio(const std::vector<WindowBench::Point> &points)
{
    for (const auto &p : points)
        if (!p.rate)
            return p.throughputRatio;
    return 0;
}

// The GUI timer's p99 at the highest fixed rate the program takes without losing a line.
std::pair<std::uint32_t, double>
latenessAtHighestLossless(const std::vector<WindowBench::Point> &points)
{
    std::pair<std::uint32_t, double> best{0, 0};
    for (const auto &p : points)
        if (p.rate && p.program.received == p.program.sent && p.rate >= best.first)
            best = {p.rate, percentile(p.lateMs, 0.99)};
    return best;
}

const char *verdict(bool met)
{
    return met ? "met" : "NOT met";
}

} // namespace

void Pressure::print(const Options &options) const
{
    double cycleGap = 0;
    for (const auto &c : cycles)
        cycleGap = std::max(cycleGap, c.gapToZero);
    std::printf("  loss at %uk/s with Cycle 1, 5000 and unreadable texts within 0.5 pp of "
                "Cycle 0: worst %+.2f pp, %s\n",
                options.cycleRate / 1000, cycleGap, verdict(cycleGap <= 0.5));
    long spread = 0;
    for (const long kib : cleared)
        spread = std::max(spread, kib - cleared.front());
    std::printf("  RSS after each Clear within 8 MB of the first: %+.1f MB at most, %s\n",
                spread / 1024.0, verdict(spread <= 8 * 1024));
    std::printf("  a key typed with 1000000 lines of 1400 bytes answered within 100 ms: %.2f "
                "ms, %s\n",
                keyMs, verdict(keyMs <= 100));
}

Pressure underPressure(WindowBench &bench, const Options &options)
{
    Pressure p;
    p.keyMs = bench.keyAnswer(1000000, 1400);
    p.cleared = bench.clearRounds(300000, 3);
    p.cycles = bench.cycleTable(options.cycleRate,
                                {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("5000"),
                                 QStringLiteral("5*"), QString(400, QLatin1Char('7')) + 'x'});
    return p;
}

void printGoals(const Options &options, const WindowBench &bench,
                const std::vector<WindowBench::Point> &empty,
                const std::vector<WindowBench::Point> &held, const Pressure &pressure)
{
    const double gapEmpty = worstLossGap(empty), gapHeld = worstLossGap(held);
    std::printf("  loss up to 100k/s within 0.5 pp of the bare loop: empty list worst %+.2f "
                "pp, %s; holding %zu lines worst %+.2f pp, %s\n",
                gapEmpty, verdict(gapEmpty <= 0.5), options.held, gapHeld, verdict(gapHeld <= 0.5));
    const auto saturation = [](const std::vector<WindowBench::Point> &points) {
        const double ratio = saturationRatio(points);
        char text[64];
        if (ratio > 0)
            std::snprintf(text, sizeof text, "%.2f, %s", ratio, verdict(ratio >= 0.8));
        else
            std::snprintf(text, sizeof text, "not measured (no max rate)");
        return std::string(text);
    };
    std::printf("  saturation throughput at least 0.8 of the bare loop's: empty list %s; "
                "holding %zu lines %s\n",
                saturation(empty).c_str(), options.held, saturation(held).c_str());
    const double textAndIndex = bench.bytesPerLine() - 14;
    std::printf("  at most 80 bytes per 64-byte line for text and index (+16 for time and "
                "sender): %.1f + 14, %s\n",
                textAndIndex, verdict(textAndIndex <= 80));
    const auto [rate, p99] = latenessAtHighestLossless(empty);
    const auto [rateHeld, p99Held] = latenessAtHighestLossless(held);
    const auto lateness = [](std::uint32_t r, double p) {
        char text[64];
        if (r)
            std::snprintf(text, sizeof text, "%uk/s %.1f ms, %s", r / 1000, p, verdict(p < 50));
        else
            std::snprintf(text, sizeof text, "no rate without loss");
        return std::string(text);
    };
    std::printf("  GUI lateness p99 under 50 ms at the highest rate without loss: empty list "
                "%s; holding %zu lines %s\n",
                lateness(rate, p99).c_str(), options.held, lateness(rateHeld, p99Held).c_str());
    pressure.print(options);
    std::printf("  idle listening below 1%% of one core: %.2f %%, %s\n", bench.idlePercent(),
                verdict(bench.idlePercent() < 1));
}

} // namespace ingest
