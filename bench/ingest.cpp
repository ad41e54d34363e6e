// How many datagrams the real window takes in, compared with a bare receive loop of the same
// shape, at offered rates from 10k/s to "as fast as possible". The sender runs in a forked
// process so that it never shares a thread, a lock or an allocator with the receiving side.
#include "application.h"
#include "line_model.h"
#include "line_store.h"
#include "line_text.h"
#include "listener_flags.h"
#include "message_box.h"
#include "num_value_source.h"
#include "receiver.h"
#include "tform1.h"

#include <numedit/tnumedit.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

std::uint64_t monoNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000000000u + std::uint64_t(ts.tv_nsec);
}

double cpuSeconds(clockid_t clock)
{
    timespec ts;
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::size_t(p * double(v.size() - 1) + 0.5)];
}

// ---------------------------------------------------------------------------------------
// Datagrams: "<seq, 16 hex> <monotonic send time in ns, 16 hex> " and letters up to the size.
// Only printable bytes, since the window cuts a line at the first byte below 32.

constexpr std::size_t kHeadLength = 34;

void formatDatagram(char *out, std::size_t size, std::uint64_t seq, std::uint64_t stamp)
{
    static const char hex[] = "0123456789abcdef";
    for (int i = 15; i >= 0; --i, seq >>= 4)
        out[i] = hex[seq & 15];
    out[16] = ' ';
    for (int i = 32; i >= 17; --i, stamp >>= 4)
        out[i] = hex[stamp & 15];
    out[33] = ' ';
    for (std::size_t i = kHeadLength; i < size; ++i)
        out[i] = char('a' + i % 26);
}

bool parseDatagram(std::string_view line, std::uint64_t &seq, std::uint64_t &stamp)
{
    if (line.size() < kHeadLength - 1)
        return false;
    auto a = std::from_chars(line.data(), line.data() + 16, seq, 16);
    auto b = std::from_chars(line.data() + 17, line.data() + 33, stamp, 16);
    return a.ec == std::errc() && a.ptr == line.data() + 16 && b.ec == std::errc() &&
           b.ptr == line.data() + 33;
}

// ---------------------------------------------------------------------------------------
// The sender process: takes orders over a socket pair, answers with how many it sent.

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

SendReport sendFlood(const SendOrder &order)
{
    SendReport report;
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return report;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(std::uint16_t(order.port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0) {
        ::close(fd);
        return report;
    }
    constexpr unsigned kBatch = 64;
    static char buffers[kBatch][1500];
    iovec iov[kBatch];
    mmsghdr messages[kBatch];
    std::memset(messages, 0, sizeof messages);
    const std::size_t size = std::min<std::size_t>(order.size, sizeof buffers[0]);
    for (unsigned i = 0; i < kBatch; ++i) {
        iov[i] = {buffers[i], size};
        messages[i].msg_hdr.msg_iov = &iov[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }

    const std::uint64_t start = monoNs();
    const std::uint64_t end = start + std::uint64_t(order.durationMs) * 1000000u;
    std::uint64_t sent = 0;
    for (;;) {
        const std::uint64_t now = monoNs();
        if (now >= end)
            break;
        std::uint64_t due = sent + kBatch;
        if (order.rate) {
            due = (now - start) * order.rate / 1000000000u + 1;
            if (due <= sent) {
                // Sleep until the next datagram is due; the timer's slack makes small bursts.
                const std::uint64_t at = start + sent * 1000000000u / order.rate;
                timespec ts{time_t(at / 1000000000u), long(at % 1000000000u)};
                clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
                continue;
            }
        }
        const unsigned n = unsigned(std::min<std::uint64_t>(due - sent, kBatch));
        for (unsigned i = 0; i < n; ++i)
            formatDatagram(buffers[i], size, order.firstSeq + sent + i, now);
        const int r = ::sendmmsg(fd, messages, n, 0);
        if (r > 0)
            sent += unsigned(r);
    }
    report.sent = sent;
    report.elapsedNs = monoNs() - start;
    ::close(fd);
    return report;
}

[[noreturn]] void senderProcess(int channel)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    SendOrder order;
    while (::read(channel, &order, sizeof order) == sizeof order && order.port != 0) {
        const SendReport report = sendFlood(order);
        if (::write(channel, &report, sizeof report) != sizeof report)
            break;
    }
    _exit(0);
}

// ---------------------------------------------------------------------------------------
// What the kernel says about a UDP socket.

struct SocketCounters {
    bool found = false;
    std::uint64_t rxQueue = 0; // bytes waiting
    std::uint64_t drops = 0;   // datagrams dropped for a full receive buffer
};

SocketCounters readSocket(int port)
{
    SocketCounters c;
    std::ifstream in("/proc/net/udp");
    std::string row;
    std::getline(in, row); // header
    while (std::getline(in, row)) {
        std::istringstream fields(row);
        std::string sl, local, remote, st, queues, timer, retr, uid, timeout, inode, ref, ptr;
        std::uint64_t drops = 0;
        fields >> sl >> local >> remote >> st >> queues >> timer >> retr >> uid >> timeout >>
            inode >> ref >> ptr >> drops;
        const auto colon = local.find(':');
        if (colon == std::string::npos)
            continue;
        if (std::stoul(local.substr(colon + 1), nullptr, 16) != unsigned(port))
            continue;
        c.found = true;
        c.rxQueue = std::stoull(queues.substr(queues.find(':') + 1), nullptr, 16);
        c.drops = drops;
    }
    return c;
}

// Other work on the machine shows in the figures: the 1, 5 and 15 minute load averages.
std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

// Minor page faults of the whole process so far: each first touch of a fresh page costs
// about 10 us on this kind of virtual machine.
long minorFaults()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

long rssKiB()
{
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs the event loop until done() holds, checking every few ms; false after the timeout.
bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(2);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    tick.start();
    if (!done())
        loop.exec();
    return done();
}

// Runs the event loop for a while with no timer of its own, so idle stays idle.
void spinFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// ---------------------------------------------------------------------------------------

struct Sender {
    int channel = -1;
    pid_t pid = -1;

    // Starts a flood and runs the event loop until the sender reports.
    SendReport flood(const SendOrder &order)
    {
        SendReport report;
        if (::write(channel, &order, sizeof order) != sizeof order)
            return report;
        QEventLoop loop;
        QSocketNotifier notifier(channel, QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] { loop.quit(); });
        pollfd p{channel, POLLIN, 0};
        if (::poll(&p, 1, 0) == 0)
            loop.exec();
        if (::read(channel, &report, sizeof report) != sizeof report)
            report = {};
        return report;
    }

    void stop()
    {
        SendOrder quit;
        quit.port = 0;
        (void)!::write(channel, &quit, sizeof quit);
        ::close(channel);
        waitpid(pid, nullptr, 0);
    }
};

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

// The reference: poll 50 ms, recvfrom into 1601 bytes, cut the line, append it to a vector
// of strings under a spin lock. No GUI, no notification.
class BareLoop
{
public:
    explicit BareLoop(std::size_t held)
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        ::bind(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&bound), &length);
        m_port = ntohs(bound.sin_port);
        m_held = held;
        m_lines.reserve(held + 4000000);
        for (std::size_t i = 0; i < held; ++i)
            m_lines.emplace_back(64, 'x');
        m_thread = std::thread([this] { run(); });
    }
    ~BareLoop()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_socket);
    }
    int port() const { return m_port; }
    std::size_t count()
    {
        ListLockGuard guard(m_flags);
        return m_lines.size();
    }
    // Back to the lines held before the flood.
    void trim()
    {
        ListLockGuard guard(m_flags);
        m_lines.resize(m_held);
    }
    std::string_view line(std::size_t i) const { return m_lines[i]; }

private:
    void run()
    {
        char buffer[kReceiveBufferSize];
        while (!m_stop) {
            pollfd watch{m_socket, POLLIN, 0};
            if (::poll(&watch, 1, 50) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(m_socket, buffer, sizeof buffer, MSG_TRUNC,
                                         reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (n < 0 || std::size_t(n) > sizeof buffer)
                continue;
            const std::string_view line = cutLine(buffer, std::size_t(n));
            ListLockGuard guard(m_flags);
            m_lines.emplace_back(line);
        }
    }

    int m_socket = -1;
    int m_port = 0;
    std::size_t m_held = 0;
    std::atomic<bool> m_stop{false};
    ListenerFlags m_flags;
    std::vector<std::string> m_lines;
    std::thread m_thread;
};

// Measures the 10 ms timer's lateness on the GUI thread.
class LatenessProbe
{
public:
    LatenessProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const std::uint64_t now = monoNs();
            if (m_last)
                m_samples.push_back(std::max(0.0, double(now - m_last) / 1e6 - 10.0));
            m_last = now;
        });
    }
    void start()
    {
        m_samples.clear();
        m_last = 0;
        m_timer.start();
    }
    std::vector<double> stop()
    {
        m_timer.stop();
        return std::move(m_samples);
    }

private:
    QTimer m_timer;
    std::uint64_t m_last = 0;
    std::vector<double> m_samples;
};

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

class Bench
{
public:
    Bench(const Options &options, Sender &sender) : m_options(options), m_sender(sender)
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

    ~Bench()
    {
        m_form->cbListen()->setChecked(false);
        m_form->close();
    }

    bool listening() const { return m_port > 0; }

    void idleCpu()
    {
        spinFor(300);
        rusage before, after;
        getrusage(RUSAGE_SELF, &before);
        const std::uint64_t t0 = monoNs();
        spinFor(3000);
        getrusage(RUSAGE_SELF, &after);
        const double wall = double(monoNs() - t0) / 1e9;
        const auto secs = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec * 1e-6; };
        const double cpu = secs(after.ru_utime) - secs(before.ru_utime) + secs(after.ru_stime) -
                           secs(before.ru_stime);
        m_idlePercent = 100.0 * cpu / wall;
        std::printf("Idle while listening: %.2f %% of one core over %.1f s (%ld wakeups)\n",
                    m_idlePercent, wall,
                    (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw));
    }

    void memoryPerLine()
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

    // Delay from the send stamp to the line being the selected newest row of the model.
    void latency(const char *label)
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
        if (!m_latencyHeld)
            m_latencyP99 = percentile(m_delaysMs, 0.99);
    }

    // What one view update costs on the GUI thread, with an empty list and with many lines.
    void frameCost()
    {
        // The median of nine updates of 100 new lines: the model's and view's update, then
        // the layout and paint that follow in the event loop.
        const auto frames = [this](std::size_t length) {
            std::vector<double> update, paint;
            for (int i = 0; i < 9; ++i) {
                appendDirect(100, length);
                spinFor(20); // past the 16 ms frame, so linesArrived() shows at once
                const std::uint64_t t0 = monoNs();
                m_form->linesArrived();
                const std::uint64_t t1 = monoNs();
                QCoreApplication::processEvents();
                const std::uint64_t t2 = monoNs();
                update.push_back(double(t1 - t0) / 1e6);
                paint.push_back(double(t2 - t1) / 1e6);
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
        const std::uint64_t t0 = monoNs();
        m_form->linesArrived();
        const std::uint64_t t1 = monoNs();
        QCoreApplication::processEvents();
        const std::uint64_t t2 = monoNs();
        const long rssAfter = rssKiB();
        const auto f = frames(64);
        std::printf("    64-byte lines, list of %zu lines: %.2f ms update + %.2f ms paint\n",
                    m_options.held, f.first, f.second);
        std::printf("  %zu lines arriving in one update: %.1f ms update + %.1f ms paint\n",
                    m_options.held, double(t1 - t0) / 1e6, double(t2 - t1) / 1e6);
        std::printf("Window's memory for %zu 64-byte lines (store, model and view): RSS %+.1f "
                    "bytes per line\n",
                    m_options.held, double(rssAfter - rssBefore) * 1024.0 / double(m_options.held));
    }

    // Loss at one rate with the cycle field's text as typed: each setting's run is paired
    // with a run at Cycle 0 right before or after it. Lines the cycle cleared cannot be
    // counted afterwards, so a run counts what was stored: the cycle times the clears, plus
    // the lines left.
    struct CyclePoint {
        QString text;
        RunResult program;
        double gapToZero = 0; // median over the pairs of this loss minus Cycle 0's, in points
    };

    std::vector<CyclePoint> cycleTable(std::uint32_t rate, const std::vector<QString> &texts)
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
                        static_cast<unsigned long long>(p.program.socketDrops),
                        100 * p.program.guiCpu, 100 * p.program.restCpu, p.gapToZero);
            std::fflush(stdout);
            points.push_back(std::move(p));
        }
        m_form->neCycle()->setText(QStringLiteral("0"));
        return points;
    }

    // Rounds of many 1400-byte lines appended by a thread of their own (as the receive thread
    // appends them), shown, then cleared: the process's size after each Clear.
    std::vector<long> clearRounds(std::size_t lines, int rounds)
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

    // The time a key typed into the list takes to be answered (the key's events and the
    // repaint that follows), with `lines` lines of `length` bytes held.
    double keyAnswer(std::size_t lines, std::size_t length)
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

    struct Point {
        std::uint32_t rate;
        RunResult program, reference;
        std::vector<double> lateMs;
        // Medians over the pairs of runs made one after the other, so that a change in the
        // machine's other load falls on both sides of a comparison.
        double lossGap = 0;         // program's loss minus the bare loop's, in points
        double throughputRatio = 0; // program's received per second over the bare loop's
    };

    std::vector<Point> table(std::size_t size, std::size_t held)
    {
        std::printf(
            "\n%zu-byte datagrams, %s, median of %d runs of %.1f s "
            "(kdrop: the kernel's drop count for the receiving socket)\n",
            size, held ? ("list holding " + std::to_string(held) + " lines").c_str() : "empty list",
            m_options.runs, m_options.durationMs / 1000.0);
        std::printf("%8s | %9s %9s %7s %7s %6s %5s %5s %6s | %9s %7s %7s %5s %6s | %6s %5s | %s\n",
                    "offered", "sent/s", "program/s", "loss%", "kdrop", "order", "gui%", "rx%",
                    "pf/s", "bare/s", "loss%", "kdrop", "rx%", "pf/s", "d pp", "p/b",
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
                p.program.faultsPerSecond, p.reference.receivedPerSecond(),
                p.reference.lossPercent(), static_cast<unsigned long long>(p.reference.socketDrops),
                100 * p.reference.restCpu, p.reference.faultsPerSecond, p.lossGap,
                p.throughputRatio, percentile(late, 0.5), percentile(late, 0.99),
                percentile(late, 1.0));
            std::fflush(stdout);
            points.push_back(std::move(p));
        }
        return points;
    }

    void snapshot(const QString &path)
    {
        spinFor(100);
        m_form->grab().save(path);
    }

    double idlePercent() const { return m_idlePercent; }
    double bytesPerLine() const { return m_bytesPerLine; }
    double latencyP99() const { return m_latencyP99; }
    void setLatencyHeld(std::size_t held) { m_latencyHeld = held; }

private:
    std::uint64_t nextSeq(std::uint64_t span)
    {
        const std::uint64_t first = m_seq;
        m_seq += span + 1000000000u;
        return first;
    }

    static RunResult median(std::vector<RunResult> runs, std::uint32_t rate)
    {
        // At a fixed rate the loss decides; as fast as possible, the throughput.
        std::sort(runs.begin(), runs.end(), [rate](const RunResult &a, const RunResult &b) {
            return rate ? a.lossPercent() < b.lossPercent()
                        : a.receivedPerSecond() < b.receivedPerSecond();
        });
        return runs[runs.size() / 2];
    }

    // Appends lines straight into the store, as the receive thread would, and lets the
    // window know.
    void appendDirect(std::size_t lines, std::size_t length = 64)
    {
        std::string text(length, 'p');
        const LineDetails details{1700000000000, 0x7f000001, 40000};
        ReceiverShared &shared = m_form->receiver();
        for (std::size_t i = 0; i < lines; ++i) {
            text[i % length] = char('a' + i % 26);
            shared.appendLine(text, details);
        }
    }

    // An empty list, or exactly `held` lines in it, shown by the view.
    void prepare(std::size_t held)
    {
        m_form->btnClear()->click();
        if (held) {
            appendDirect(held);
            m_form->linesArrived();
        }
        spinUntil([&] { return std::size_t(m_form->lines()->rowCount()) == held; }, 10000);
        spinFor(30);
    }

    std::size_t storeCount() { return m_form->receiver().lineCount(); }

    // Until the socket is empty, the store has stopped growing and the view shows it all.
    void drainProgram()
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
                return stable.elapsed() > 60 && readSocket(m_port).rxQueue == 0 &&
                       std::size_t(m_form->lines()->rowCount()) == now;
            },
            5000);
    }

    // One flood at a port, measured alike for the window and the bare loop: the sender's
    // report, the CPU of the GUI thread and of the rest, page faults, the socket's drops. The
    // same 10 ms timer runs in both, so both share the machine alike. drain() returns once
    // the receiver has taken everything.
    template <typename Drain>
    RunResult flood(int port, std::uint32_t rate, std::size_t size, std::uint64_t &firstSeq,
                    Drain drain)
    {
        RunResult r;
        const SocketCounters before = readSocket(port);
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
        r.socketDrops = readSocket(port).drops - before.drops;
        return r;
    }

    RunResult runProgram(std::uint32_t rate, std::size_t size, std::size_t held)
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

    RunResult runCycle(std::uint32_t rate, const QString &cycleText)
    {
        m_form->neCycle()->QLineEdit::setText(cycleText); // as typed: not formatted
        prepare(0);
        const auto look = [this] { return m_form->receiver().snapshot(); };
        const LineStore::Snapshot before = look();
        std::uint64_t firstSeq = 0;
        RunResult r = flood(m_port, rate, 64, firstSeq, [&] { drainProgram(); });
        const LineStore::Snapshot after = look();
        const double cycle = m_form->neCycle()->valueSource()->valueOrNaN();
        const std::uint64_t cleared =
            cycle >= 1 ? std::uint64_t(cycle) * (after.clears - before.clears) : 0;
        r.received = cleared + after.count - before.count;
        return r;
    }

    RunResult runReference(BareLoop &loop, std::uint32_t rate, std::size_t size)
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
                    return stable.elapsed() > 60 && readSocket(loop.port()).rxQueue == 0;
                },
                5000);
        });
        tally(r, firstSeq, base, loop.count(), [&](std::size_t i) { return loop.line(i); });
        return r;
    }

    void newestShown(int row)
    {
        if (!m_measureDelay || row < 0)
            return;
        const std::uint64_t now = monoNs();
        for (int i = std::max(m_lastShownRow + 1, 0); i <= row; ++i) {
            const QByteArray text = m_form->lines()->lineText(i).toLatin1();
            std::uint64_t seq, stamp;
            if (parseDatagram(std::string_view(text.constData(), std::size_t(text.size())), seq,
                              stamp))
                m_delaysMs.push_back(double(now - stamp) / 1e6);
        }
        m_lastShownRow = row;
    }

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
    double m_latencyP99 = 0;
};

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

// Loss within 0.5 points of the bare loop's at every rate up to 100k/s.
double worstLossGap(const std::vector<Bench::Point> &points)
{
    double worst = 0;
    for (const auto &p : points)
        if (p.rate && p.rate <= 100000)
            worst = std::max(worst, p.lossGap);
    return worst;
}

double saturationRatio(const std::vector<Bench::Point> &points)
{
    for (const auto &p : points)
        if (!p.rate)
            return p.throughputRatio;
    return 0;
}

// The GUI timer's p99 at the highest fixed rate the program takes without losing a line.
std::pair<std::uint32_t, double> latenessAtHighestLossless(const std::vector<Bench::Point> &points)
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

// The figures under pressure: a key typed with a million long lines held, memory after
// rounds of many lines and Clear, and loss by the cycle field's text.
struct Pressure {
    double keyMs = 0;
    std::vector<long> cleared; // KiB after each Clear
    std::vector<Bench::CyclePoint> cycles;

    void print(const Options &options) const
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
};

Pressure underPressure(Bench &bench, const Options &options)
{
    Pressure p;
    p.keyMs = bench.keyAnswer(1000000, 1400);
    p.cleared = bench.clearRounds(300000, 3);
    p.cycles = bench.cycleTable(options.cycleRate,
                                {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("5000"),
                                 QStringLiteral("5*"), QString(400, QLatin1Char('7')) + 'x'});
    return p;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
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
    setvbuf(stdout, nullptr, _IOLBF, 0);

    // Fork before Qt starts any thread.
    int channels[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channels) < 0) {
        std::perror("socketpair");
        return 1;
    }
    Sender sender;
    sender.pid = fork();
    if (sender.pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (sender.pid == 0) {
        ::close(channels[0]);
        senderProcess(channels[1]);
    }
    ::close(channels[1]);
    sender.channel = channels[0];

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
        Bench bench(options, sender);
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
        std::vector<Bench::Point> large;
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
        const double gapEmpty = worstLossGap(empty), gapHeld = worstLossGap(held);
        std::printf("  loss up to 100k/s within 0.5 pp of the bare loop: empty list worst %+.2f "
                    "pp, %s; holding %zu lines worst %+.2f pp, %s\n",
                    gapEmpty, verdict(gapEmpty <= 0.5), options.held, gapHeld,
                    verdict(gapHeld <= 0.5));
        const auto saturation = [](const std::vector<Bench::Point> &points) {
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
        std::printf("Load average at the end: %s\n", loadAverage().c_str());
    }
    sender.stop();
    return 0;
}
