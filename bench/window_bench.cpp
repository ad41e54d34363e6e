#include "window_bench.h"

#include "bare_loop.h"
#include "line_model.h"
#include "line_store.h"
#include "message_box.h"
#include "receiver.h"
#include "tform1.h"
#include "udp_support.h"

#include <numedit/tnumedit.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <string>
#include <sys/resource.h>
#include <thread>

namespace ingest
{

namespace
{

// The kernel's counters for the receiving socket at port; nothing counted when there is none.
UdpSocketCounters counters(int port)
{
    return udpSocketCounters(port).value_or(UdpSocketCounters());
}

} // namespace

WindowBench::WindowBench(const Options &options, Sender &sender)
    : m_options(options), m_sender(sender)
{
    tk::setRecordMessageBoxes(true); // an error box must not stall an unattended run
    m_form = std::make_unique<TForm1>();
    m_form->resize(583, 416);
    m_form->show();
    spinFor(200);
    m_form->nePort()->setText(QStringLiteral("0"));
    m_form->cbListen()->setChecked(true);
    m_port = m_form->boundPort();
    QObject::connect(m_form->lb1()->selectionModel(), &QItemSelectionModel::currentChanged,
                     [this](const QModelIndex &current) { newestShown(current.row()); });
}

WindowBench::~WindowBench()
{
    m_form->cbListen()->setChecked(false);
    m_form->close();
}

void WindowBench::idleCpu()
{
    spinFor(300);
    rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    const std::uint64_t t0 = monoNs();
    spinFor(3000);
    getrusage(RUSAGE_SELF, &after);
    const double wall = double(monoNs() - t0) / 1e9;
    const auto secs = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec * 1e-6; };
    const double cpu =
        secs(after.ru_utime) - secs(before.ru_utime) + secs(after.ru_stime) - secs(before.ru_stime);
    m_idlePercent = 100.0 * cpu / wall;
    std::printf("Idle while listening: %.2f %% of one core over %.1f s (%ld wakeups)\n",
                m_idlePercent, wall,
                (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw));
}

void WindowBench::memoryPerLine()
{
    malloc_trim(0);
    const long rssBefore = rssKiB();
    std::size_t allocated = 0;
    {
        LineGeneration generation;
        std::string text(64, 'm');
        LineDetails details{1700000000000, 0x7f000001, 40000};
        for (std::size_t i = 0; i < 1000000; ++i) {
            text[i % 64] = char('a' + i % 26);
            generation.append(text, details);
        }
        allocated = generation.allocatedBytes();
        const long rssAfter = rssKiB();
        m_bytesPerLine = double(allocated) / 1e6;
        std::printf("Memory per stored 64-byte line at 1,000,000 lines: %.1f bytes allocated "
                    "(text 64 + length 2 + index; of which time/address/port 14), RSS %+.1f "
                    "bytes\n",
                    m_bytesPerLine, double(rssAfter - rssBefore) * 1024.0 / 1e6);
    }
}

void WindowBench::latency(const char *label)
{
    prepare(m_latencyHeld);
    m_delaysMs.clear();
    m_lastShownRow = m_form->lines()->rowCount() - 1;
    m_measureDelay = true;
    SendOrder order{std::uint32_t(m_port), 1000, 64, 3000, nextSeq(3000)};
    const SendReport report = m_sender.flood(order);
    drainProgram();
    m_measureDelay = false;
    std::printf("Send to shown as selected newest row, 1k/s, 64 bytes, %s: p50 %.2f ms, p99 "
                "%.2f ms, max %.2f ms (%zu of %llu lines)\n",
                label, percentile(m_delaysMs, 0.5), percentile(m_delaysMs, 0.99),
                percentile(m_delaysMs, 1.0), m_delaysMs.size(),
                static_cast<unsigned long long>(report.sent));
}

std::pair<double, double> WindowBench::timeOneUpdate()
{
    const std::uint64_t t0 = monoNs();
    m_form->linesArrived();
    const std::uint64_t t1 = monoNs();
    QCoreApplication::processEvents();
    const std::uint64_t t2 = monoNs();
    return {double(t1 - t0) / 1e6, double(t2 - t1) / 1e6};
}

void WindowBench::frameCost()
{
    // The median of nine updates of 100 new lines: the model's and view's update, then
    // the layout and paint that follow in the event loop.
    const auto frames = [this](std::size_t length) {
        std::vector<double> update, paint;
        for (int i = 0; i < 9; ++i) {
            appendDirect(100, length);
            spinFor(20); // past the 16 ms frame, so linesArrived() shows at once
            const auto [updateMs, paintMs] = timeOneUpdate();
            update.push_back(updateMs);
            paint.push_back(paintMs);
        }
        return std::pair{percentile(update, 0.5), percentile(paint, 0.5)};
    };
    std::printf("GUI thread per view update of 100 new lines (median of 9):\n");
    for (const std::size_t length : {64, 1400}) {
        m_form->btnClear()->click();
        spinFor(50);
        const auto f = frames(length);
        std::printf("  %4zu-byte lines, list of a few hundred lines: %.2f ms update + %.2f ms "
                    "paint\n",
                    length, f.first, f.second);
    }
    m_form->btnClear()->click();
    spinFor(50);
    malloc_trim(0);
    const long rssBefore = rssKiB();
    appendDirect(m_options.held, 64);
    spinFor(20);
    const auto [updateMs, paintMs] = timeOneUpdate();
    const long rssAfter = rssKiB();
    const auto f = frames(64);
    std::printf("    64-byte lines, list of %zu lines: %.2f ms update + %.2f ms paint\n",
                m_options.held, f.first, f.second);
    std::printf("  %zu lines arriving in one update: %.1f ms update + %.1f ms paint\n",
                m_options.held, updateMs, paintMs);
    std::printf("Window's memory for %zu 64-byte lines (store, model and view): RSS %+.1f "
                "bytes per line\n",
                m_options.held, double(rssAfter - rssBefore) * 1024.0 / double(m_options.held));
}

std::vector<WindowBench::CyclePoint> WindowBench::cycleTable(std::uint32_t rate,
                                                             const std::vector<QString> &texts)
{
    std::printf("\n64-byte datagrams at %uk/s by the cycle field's text, median of %d runs of "
                "%.1f s, each paired with a run at Cycle 0\n",
                rate / 1000, m_options.runs, m_options.durationMs / 1000.0);
    std::printf("%-24s | %9s %9s %7s %7s %5s %5s | %12s\n", "cycle text", "sent/s", "program/s",
                "loss%", "kdrop", "gui%", "rx%", "d pp cycle 0");
    std::vector<CyclePoint> points;
    for (const QString &text : texts) {
        std::vector<RunResult> runs;
        std::vector<double> gaps;
        for (int run = 0; run < m_options.runs; ++run) {
            RunResult zero, mine;
            if (run % 2)
                zero = runCycle(rate, QStringLiteral("0"));
            mine = runCycle(rate, text);
            if (run % 2 == 0)
                zero = runCycle(rate, QStringLiteral("0"));
            gaps.push_back(mine.lossPercent() - zero.lossPercent());
            runs.push_back(mine);
        }
        CyclePoint p{text, median(runs, rate), percentile(gaps, 0.5)};
        QString shown = text.size() > 20
                            ? text.left(12) + QStringLiteral("... (%1 chars)").arg(text.size())
                            : text;
        std::printf("%-24s | %9.0f %9.0f %7.2f %7llu %5.0f %5.0f | %+12.2f\n",
                    ("\"" + shown + "\"").toUtf8().constData(), p.program.sentPerSecond(),
                    p.program.receivedPerSecond(), p.program.lossPercent(),
                    static_cast<unsigned long long>(p.program.socketDrops), 100 * p.program.guiCpu,
                    100 * p.program.restCpu, p.gapToZero);
        std::fflush(stdout);
        points.push_back(std::move(p));
    }
    m_form->neCycle()->setText(QStringLiteral("0"));
    return points;
}

std::vector<long> WindowBench::clearRounds(std::size_t lines, int rounds)
{
    m_form->btnClear()->click();
    spinFor(100);
    malloc_trim(0);
    const long start = rssKiB();
    std::printf("\nRSS over %d rounds of %zu lines of 1400 bytes, each shown and then "
                "cleared: at start %.1f MB\n",
                rounds, lines, start / 1024.0);
    std::vector<long> after;
    for (int round = 1; round <= rounds; ++round) {
        std::thread writer([&] {
            std::string text(1400, 'r');
            const LineDetails details{1700000000000, 0x7f000001, 40000};
            ReceiverShared &shared = m_form->receiver();
            for (std::size_t i = 0; i < lines; ++i) {
                text[i % 1400] = char('a' + i % 26);
                shared.storeLine(text, details);
            }
        });
        spinUntil([&] { return std::size_t(m_form->lines()->rowCount()) >= lines; }, 60000);
        writer.join();
        spinUntil([&] { return std::size_t(m_form->lines()->rowCount()) == lines; }, 10000);
        const long full = rssKiB();
        const std::uint64_t t0 = monoNs();
        m_form->btnClear()->click();
        const double clearMs = double(monoNs() - t0) / 1e6;
        spinFor(200);
        after.push_back(rssKiB());
        std::printf("  round %d: %.1f MB with the lines, %.1f MB after Clear (Clear took %.1f "
                    "ms on the GUI thread)\n",
                    round, full / 1024.0, after.back() / 1024.0, clearMs);
    }
    return after;
}

double WindowBench::keyAnswer(std::size_t lines, std::size_t length)
{
    m_form->btnClear()->click();
    spinFor(50);
    appendDirect(lines, length);
    m_form->linesArrived();
    spinUntil([&] { return std::size_t(m_form->lines()->rowCount()) == lines; }, 20000);
    QListView *list = m_form->lb1();
    list->setFocus(Qt::OtherFocusReason);
    list->setCurrentIndex(m_form->lines()->index(int(lines / 2)));
    spinFor(50);
    std::vector<double> times;
    for (const char letter : std::string("abcxyz")) {
        const QString text(QLatin1Char{letter});
        const int key = Qt::Key_A + (letter - 'a');
        const std::uint64_t t0 = monoNs();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
        QApplication::sendEvent(list, &press);
        QApplication::sendEvent(list, &release);
        QCoreApplication::processEvents();
        times.push_back(double(monoNs() - t0) / 1e6);
        spinFor(20);
    }
    const double worst = percentile(times, 1.0);
    std::printf("Key typed into the list, %zu lines of %zu bytes held: median %.2f ms, "
                "slowest %.2f ms (6 keys)\n",
                lines, length, percentile(times, 0.5), worst);
    m_form->btnClear()->click();
    spinFor(100);
    return worst;
}

std::vector<WindowBench::Point> WindowBench::table(std::size_t size, std::size_t held)
{
    std::printf("\n%zu-byte datagrams, %s, median of %d runs of %.1f s "
                "(kdrop: the kernel's drop count for the receiving socket)\n",
                size,
                held ? ("list holding " + std::to_string(held) + " lines").c_str() : "empty list",
                m_options.runs, m_options.durationMs / 1000.0);
    std::printf("%8s | %9s %9s %7s %7s %6s %5s %5s %6s | %9s %7s %7s %5s %6s | %6s %5s | %s\n",
                "offered", "sent/s", "program/s", "loss%", "kdrop", "order", "gui%", "rx%", "pf/s",
                "bare/s", "loss%", "kdrop", "rx%", "pf/s", "d pp", "p/b",
                "GUI timer late p50/p99/max ms");
    std::vector<Point> points;
    auto reference = std::make_unique<BareLoop>(held);
    for (const std::uint32_t rate : m_options.rates) {
        std::vector<RunResult> programRuns, referenceRuns;
        std::vector<double> late;
        for (int run = 0; run < m_options.runs; ++run) {
            // Pairs alternate which side goes first, so neither always follows the other.
            if (run % 2)
                referenceRuns.push_back(runReference(*reference, rate, size));
            programRuns.push_back(runProgram(rate, size, held));
            late.insert(late.end(), programRuns.back().lateMs.begin(),
                        programRuns.back().lateMs.end());
            if (run % 2 == 0)
                referenceRuns.push_back(runReference(*reference, rate, size));
        }
        std::vector<double> gaps, ratios;
        for (std::size_t i = 0; i < programRuns.size(); ++i) {
            gaps.push_back(programRuns[i].lossPercent() - referenceRuns[i].lossPercent());
            if (referenceRuns[i].received)
                ratios.push_back(programRuns[i].receivedPerSecond() /
                                 referenceRuns[i].receivedPerSecond());
        }
        Point p{rate, median(programRuns, rate), median(referenceRuns, rate),
                late, percentile(gaps, 0.5),     percentile(ratios, 0.5)};
        for (const RunResult &r : programRuns)
            p.program.inOrder = p.program.inOrder && r.inOrder;
        char offered[16];
        if (rate)
            std::snprintf(offered, sizeof offered, "%uk", rate / 1000);
        else
            std::snprintf(offered, sizeof offered, "max");
        std::printf(
            "%8s | %9.0f %9.0f %7.2f %7llu %6s %5.0f %5.0f %6.0f | %9.0f %7.2f %7llu %5.0f "
            "%6.0f | %+6.2f %5.2f | %.1f / %.1f / %.1f\n",
            offered, p.program.sentPerSecond(), p.program.receivedPerSecond(),
            p.program.lossPercent(), static_cast<unsigned long long>(p.program.socketDrops),
            p.program.inOrder ? "ok" : "WRONG", 100 * p.program.guiCpu, 100 * p.program.restCpu,
            p.program.faultsPerSecond, p.reference.receivedPerSecond(), p.reference.lossPercent(),
            static_cast<unsigned long long>(p.reference.socketDrops), 100 * p.reference.restCpu,
            p.reference.faultsPerSecond, p.lossGap, p.throughputRatio, percentile(late, 0.5),
            percentile(late, 0.99), percentile(late, 1.0));
        std::fflush(stdout);
        points.push_back(std::move(p));
    }
    return points;
}

void WindowBench::snapshot(const QString &path)
{
    spinFor(100);
    m_form->grab().save(path);
}

std::uint64_t WindowBench::nextSeq(std::uint64_t span)
{
    const std::uint64_t first = m_seq;
    m_seq += span + 1000000000u;
    return first;
}

RunResult WindowBench::median(std::vector<RunResult> runs, std::uint32_t rate)
{
    // At a fixed rate the loss decides; as fast as possible, the throughput.
    std::sort(runs.begin(), runs.end(), [rate](const RunResult &a, const RunResult &b) {
        return rate ? a.lossPercent() < b.lossPercent()
                    : a.receivedPerSecond() < b.receivedPerSecond();
    });
    return runs[runs.size() / 2];
}

void WindowBench::appendDirect(std::size_t lines, std::size_t length)
{
    std::string text(length, 'p');
    const LineDetails details{1700000000000, 0x7f000001, 40000};
    ReceiverShared &shared = m_form->receiver();
    for (std::size_t i = 0; i < lines; ++i) {
        text[i % length] = char('a' + i % 26);
        shared.appendLine(text, details);
    }
}

void WindowBench::prepare(std::size_t held)
{
    m_form->btnClear()->click();
    if (held) {
        appendDirect(held);
        m_form->linesArrived();
    }
    spinUntil([&] { return std::size_t(m_form->lines()->rowCount()) == held; }, 10000);
    spinFor(30);
}

void WindowBench::drainProgram()
{
    std::size_t last = storeCount();
    QElapsedTimer stable;
    stable.start();
    spinUntil(
        [&] {
            const std::size_t now = storeCount();
            if (now != last) {
                last = now;
                stable.restart();
            }
            return stable.elapsed() > 60 && counters(m_port).queuedBytes == 0 &&
                   std::size_t(m_form->lines()->rowCount()) == now;
        },
        5000);
}

template <typename Drain>
RunResult WindowBench::flood(int port, std::uint32_t rate, std::size_t size,
                             std::uint64_t &firstSeq, Drain drain)
{
    RunResult r;
    const UdpSocketCounters before = counters(port);
    SendOrder order{std::uint32_t(port), rate, std::uint32_t(size),
                    std::uint32_t(m_options.durationMs), 0};
    order.firstSeq = nextSeq(rate ? rate * 10ull : 100000000ull);
    firstSeq = order.firstSeq;
    const double gui0 = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const double all0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const long faults0 = minorFaults();
    m_lateness.start();
    const SendReport report = m_sender.flood(order);
    r.lateMs = m_lateness.stop();
    const long faults = minorFaults() - faults0;
    const double gui = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - gui0;
    const double all = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - all0;
    drain();
    r.sent = report.sent;
    r.seconds = double(report.elapsedNs) / 1e9;
    r.faultsPerSecond = double(faults) / r.seconds;
    r.guiCpu = gui / r.seconds;
    r.restCpu = (all - gui) / r.seconds;
    r.socketDrops = counters(port).drops - before.drops;
    return r;
}

RunResult WindowBench::runProgram(std::uint32_t rate, std::size_t size, std::size_t held)
{
    prepare(held);
    const std::size_t base = storeCount();
    std::uint64_t firstSeq = 0;
    RunResult r = flood(m_port, rate, size, firstSeq, [&] { drainProgram(); });
    const LineStore::Snapshot snapshot = m_form->receiver().snapshot();
    if (snapshot.lines)
        tally(r, firstSeq, base, snapshot.count,
              [&](std::size_t i) { return snapshot.lines->text(i); });
    return r;
}

RunResult WindowBench::runCycle(std::uint32_t rate, const QString &cycleText)
{
    m_form->neCycle()->QLineEdit::setText(cycleText); // as typed: not formatted
    prepare(0);
    const auto look = [this] { return m_form->receiver().snapshot(); };
    const LineStore::Snapshot before = look();
    std::uint64_t firstSeq = 0;
    RunResult r = flood(m_port, rate, 64, firstSeq, [&] { drainProgram(); });
    const LineStore::Snapshot after = look();
    const double cycle = m_form->receiver().cycleValue();
    const std::uint64_t cleared =
        cycle >= 1 ? std::uint64_t(cycle) * (after.clears - before.clears) : 0;
    r.received = cleared + after.count - before.count;
    return r;
}

RunResult WindowBench::runReference(BareLoop &loop, std::uint32_t rate, std::size_t size)
{
    loop.trim();
    const std::size_t base = loop.count();
    std::uint64_t firstSeq = 0;
    RunResult r = flood(loop.port(), rate, size, firstSeq, [&] {
        // Until the socket is empty and the loop has stopped growing.
        std::size_t last = loop.count();
        QElapsedTimer stable;
        stable.start();
        spinUntil(
            [&] {
                const std::size_t now = loop.count();
                if (now != last) {
                    last = now;
                    stable.restart();
                }
                return stable.elapsed() > 60 && counters(loop.port()).queuedBytes == 0;
            },
            5000);
    });
    tally(r, firstSeq, base, loop.count(), [&](std::size_t i) { return loop.line(i); });
    return r;
}

void WindowBench::newestShown(int row)
{
    if (!m_measureDelay || row < 0)
        return;
    const std::uint64_t now = monoNs();
    for (int i = std::max(m_lastShownRow + 1, 0); i <= row; ++i) {
        const QByteArray text = m_form->lines()->lineText(i).toLatin1();
        std::uint64_t seq, stamp;
        if (parseDatagram(std::string_view(text.constData(), std::size_t(text.size())), seq, stamp))
            m_delaysMs.push_back(double(now - stamp) / 1e6);
    }
    m_lastShownRow = row;
}

std::size_t WindowBench::storeCount()
{
    return m_form->receiver().lineCount();
}

} // namespace ingest
