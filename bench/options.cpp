#include "options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace ingest
{

namespace
{

std::vector<std::uint32_t> parseRates(const char *text)
{
    std::vector<std::uint32_t> rates;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        rates.push_back(item == "max" ? 0u : std::uint32_t(std::stoul(item)));
    return rates;
}

void usage()
{
    std::printf(
        "Usage: ingest [--duration MS] [--runs N] [--rates 10000,50000,max] "
        "[--held LINES] [--no-large] [--cycle-rate N] [--pressure] [--snapshot PNG] [--quick]\n"
        "  --duration MS  length of one flood (default 1000)\n"
        "  --runs N       floods per point, the median is shown (default 3)\n"
        "  --rates LIST   offered datagrams per second; max: as fast as possible\n"
        "                 (default 10000,20000,50000,100000,200000,max)\n"
        "  --held LINES   lines in the list for the second 64-byte table (default "
        "1000000)\n"
        "  --no-large     skip the 1400-byte table\n"
        "  --cycle-rate N rate of the table by cycle text (default 100000)\n"
        "  --pressure     only a key with a million long lines, Clear rounds and the "
        "table by cycle text\n"
        "  --snapshot PNG save a picture of the window after the last table\n"
        "  --quick        one run per point, rates 10000,100000,max, no 1400-byte table\n");
}

} // namespace

int parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--duration" && hasValue)
            options.durationMs = std::max(100, std::atoi(argv[++i]));
        else if (arg == "--runs" && hasValue)
            options.runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--rates" && hasValue)
            options.rates = parseRates(argv[++i]);
        else if (arg == "--held" && hasValue)
            options.held = std::size_t(std::max(1LL, std::atoll(argv[++i])));
        else if (arg == "--cycle-rate" && hasValue)
            options.cycleRate = std::uint32_t(std::max(1000L, std::atol(argv[++i])));
        else if (arg == "--snapshot" && hasValue)
            options.snapshot = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--pressure")
            options.pressureOnly = true;
        else if (arg == "--no-large")
            options.large = false;
        else if (arg == "--quick") {
            options.runs = 1;
            options.rates = {10000, 100000, 0};
            options.large = false;
        } else {
            usage();
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    return -1;
}

} // namespace ingest
