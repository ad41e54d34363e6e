// How many datagrams the real window takes in, compared with a bare receive loop of the same
// shape, at offered rates from 10k/s to "as fast as possible", and what that costs the GUI
// thread and memory. See README.md for what it measures and how to read the figures.
//
// sender.*       the process that sends the floods, and the datagrams' text
// bare_loop.*    the reference: a receive loop in step with ReceiveLoop, without the window
// window_bench.* the window under test and every figure taken of it
// report.*       the goals the figures are held against
// measure.*      clocks, process figures and the event loop
#include "application.h"
#include "measure.h"
#include "options.h"
#include "report.h"
#include "sender.h"
#include "window_bench.h"

#include <cstdio>
#include <fstream>
#include <thread>

int main(int argc, char **argv)
{
    using namespace ingest;
    Options options;
    if (const int exitCode = parseOptions(argc, argv, options); exitCode >= 0)
        return exitCode;
    setvbuf(stdout, nullptr, _IOLBF, 0);

    // Fork before Qt starts any thread.
    Sender sender = startSender();
    if (sender.pid < 0)
        return 1;

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    tk::Application app(qtArgc, argv);

    long rmem = 0;
    std::ifstream("/proc/sys/net/core/rmem_default") >> rmem;
    std::printf("ingest: Vestrel's window against a bare receive loop; UDP to 127.0.0.1 from a "
                "separate sender process\n");
    std::printf("%u cores, net.core.rmem_default %ld bytes, load average at start: %s\n",
                std::thread::hardware_concurrency(), rmem, loadAverage().c_str());

    {
        WindowBench bench(options, sender);
        if (!bench.listening()) {
            std::printf("The window could not listen\n");
            sender.stop();
            return 1;
        }
        std::printf("\n");
        if (options.pressureOnly) {
            const Pressure pressure = underPressure(bench, options);
            std::printf("\nGoals\n");
            pressure.print(options);
            std::printf("Load average at the end: %s\n", loadAverage().c_str());
            sender.stop();
            return 0;
        }
        bench.idleCpu();
        bench.memoryPerLine();
        bench.latency("empty list");
        const auto empty = bench.table(64, 0);
        std::vector<WindowBench::Point> large;
        if (options.large)
            large = bench.table(1400, 0);
        std::printf("\n");
        bench.frameCost();
        const Pressure pressure = underPressure(bench, options);
        std::printf("\n");
        bench.setLatencyHeld(options.held);
        bench.latency(("list holding " + std::to_string(options.held) + " lines").c_str());
        const auto held = bench.table(64, options.held);
        if (!options.snapshot.isEmpty())
            bench.snapshot(options.snapshot);

        std::printf("\nGoals\n");
        printGoals(options, bench, empty, held, pressure);
        std::printf("Load average at the end: %s\n", loadAverage().c_str());
    }
    sender.stop();
    return 0;
}
