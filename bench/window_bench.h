#pragma once

#include "measure.h"
#include "options.h"
#include "run_result.h"
#include "sender.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class TForm1;

namespace ingest
{

class BareLoop;

// The window under test: the real TForm1 with its view, model, store, receive thread and cycle
// field, driven the way a user and a sender would, and every figure the benchmark takes of it.
// Each flood at the window is paired with one at the bare loop (bare_loop.h).
class WindowBench
{
public:
    // Opens the window on the offscreen platform and listens on a port the system picks.
    WindowBench(const Options &options, Sender &sender);
    ~WindowBench();
    WindowBench(const WindowBench &) = delete;
    WindowBench &operator=(const WindowBench &) = delete;

    bool listening() const { return m_port > 0; }

    void idleCpu();

    void memoryPerLine();

    // Delay from the send stamp to the line being the selected newest row of the model.
    void latency(const char *label);

    // What one view update costs on the GUI thread, with an empty list and with many lines.
    void frameCost();

    // Loss at one rate with the cycle field's text as typed: each setting's run is paired
    // with a run at Cycle 0 right before or after it. Lines the cycle cleared cannot be
    // counted afterwards, so a run counts what was stored: the cycle times the clears, plus
    // the lines left.
    struct CyclePoint {
        QString text;
        RunResult program;
        double gapToZero = 0; // median over the pairs of this loss minus Cycle 0's, in points
    };

    std::vector<CyclePoint> cycleTable(std::uint32_t rate, const std::vector<QString> &texts);

    // Rounds of many 1400-byte lines appended by a thread of their own (as the receive thread
    // appends them), shown, then cleared: the process's size after each Clear.
    std::vector<long> clearRounds(std::size_t lines, int rounds);

    // The time a key typed into the list takes to be answered (the key's events and the
    // repaint that follows), with `lines` lines of `length` bytes held.
    double keyAnswer(std::size_t lines, std::size_t length);

    struct Point {
        std::uint32_t rate;
        RunResult program, reference;
        std::vector<double> lateMs;
        // Medians over the pairs of runs made one after the other, so that a change in the
        // machine's other load falls on both sides of a comparison.
        double lossGap = 0;         // program's loss minus the bare loop's, in points
        double throughputRatio = 0; // program's received per second over the bare loop's
    };

    std::vector<Point> table(std::size_t size, std::size_t held);

    void snapshot(const QString &path);

    double idlePercent() const { return m_idlePercent; }
    double bytesPerLine() const { return m_bytesPerLine; }
    void setLatencyHeld(std::size_t held) { m_latencyHeld = held; }

private:
    std::uint64_t nextSeq(std::uint64_t span);

    static RunResult median(std::vector<RunResult> runs, std::uint32_t rate);

    // Appends lines straight into the store, without the cycle rule and without telling the
    // window: the caller shows them when it wants.
    void appendDirect(std::size_t lines, std::size_t length = 64);

    // One view update on the GUI thread, in ms: linesArrived() (the model's and the view's
    // update), then the layout and paint that follow in the event loop.
    std::pair<double, double> timeOneUpdate();

    // An empty list, or exactly `held` lines in it, shown by the view.
    void prepare(std::size_t held);

    std::size_t storeCount();

    // Until the socket is empty, the store has stopped growing and the view shows it all.
    void drainProgram();

    // One flood at a port, measured alike for the window and the bare loop: the sender's
    // report, the CPU of the GUI thread and of the rest, page faults, the socket's drops. The
    // same 10 ms timer runs in both, so both share the machine alike. drain() returns once
    // the receiver has taken everything.
    template <typename Drain>
    RunResult flood(int port, std::uint32_t rate, std::size_t size, std::uint64_t &firstSeq,
                    Drain drain);

    RunResult runProgram(std::uint32_t rate, std::size_t size, std::size_t held);

    RunResult runCycle(std::uint32_t rate, const QString &cycleText);

    RunResult runReference(BareLoop &loop, std::uint32_t rate, std::size_t size);

    void newestShown(int row);

    const Options &m_options;
    Sender &m_sender;
    std::unique_ptr<TForm1> m_form;
    int m_port = 0;
    std::uint64_t m_seq = 1;
    LatenessProbe m_lateness;
    bool m_measureDelay = false;
    int m_lastShownRow = -1;
    std::vector<double> m_delaysMs;
    std::size_t m_latencyHeld = 0;
    double m_idlePercent = 0;
    double m_bytesPerLine = 0;
};

} // namespace ingest
