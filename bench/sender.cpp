#include "sender.h"

#include "measure.h"

#include <QEventLoop>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ingest
{

namespace
{

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

} // namespace

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

SendReport Sender::flood(const SendOrder &order)
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

void Sender::stop()
{
    SendOrder quit;
    quit.port = 0;
    (void)!::write(channel, &quit, sizeof quit);
    ::close(channel);
    waitpid(pid, nullptr, 0);
}

Sender startSender()
{
    Sender sender;
    int channels[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channels) < 0) {
        std::perror("socketpair");
        return sender;
    }
    sender.pid = fork();
    if (sender.pid < 0) {
        std::perror("fork");
        return sender;
    }
    if (sender.pid == 0) {
        ::close(channels[0]);
        senderProcess(channels[1]);
    }
    ::close(channels[1]);
    sender.channel = channels[0];
    return sender;
}

} // namespace ingest
