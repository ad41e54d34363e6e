#include "receiver.h"

#include "line_text.h"
#include "num_value_source.h"
#include "show_error.h"

#include <numedit/exception.h>

#include <QDateTime>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
constexpr int kPassMs = 50;
}

ReceiverShared::ReceiverShared(std::shared_ptr<const NumValueSource> cycleSource)
    : cycle(std::move(cycleSource))
{
    store.setByteLimit(defaultHeldBytesLimit());
}

void ReceiverShared::setContact(QObject *window)
{
    std::lock_guard lock(m_contactMutex);
    m_contact = window;
}

bool ReceiverShared::post(const char *slot)
{
    // Under the mutex, so the window cannot be destroyed between the test and the post.
    std::lock_guard lock(m_contactMutex);
    try {
        if (m_contact)
            QMetaObject::invokeMethod(m_contact, slot, Qt::QueuedConnection);
        return true;
    } catch (const std::bad_alloc &) {
        return false; // the queued call needs memory
    }
}

void ReceiverShared::notifyLines()
{
    // A call that could not be posted is posted with the next line.
    if (!m_dirty.exchange(true, std::memory_order_acq_rel) && !post("linesArrived"))
        m_dirty.store(false, std::memory_order_release);
}

void ReceiverShared::finishThread()
{
    {
        std::lock_guard lock(m_endMutex);
        flags.clear(ListenerFlags::Running | ListenerFlags::StopRequest);
    }
    m_ended.notify_all();
    post("receiverEnded");
}

void ReceiverShared::lineRefused()
{
    m_refused.fetch_add(1, std::memory_order_relaxed);
    if (m_refusing)
        return;
    m_refusing = true;
    ShowError(refusedLineMessage());
}

bool ReceiverShared::waitUntilStopped(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_endMutex);
    return m_ended.wait_for(lock, timeout, [this] { return !flags.test(ListenerFlags::Running); });
}

namespace
{

// One datagram's line into the list: cycle rule, append, newest selected, all under
// ListLock. A cycle field that does not read as a number at this moment skips the cycle rule
// for this datagram (NaN equals no count); the line is kept either way. The field's text was
// converted when it changed, so neither its value nor its text changes the cost here.
void storeLine(ReceiverShared &shared, std::string_view line, const LineDetails &details)
{
    bool stored = false;
    FreedBlocks freed; // memory the cycle's clear let go of, freed after the lock
    {
        ListLockGuard guard(shared.flags);
        const double c = shared.cycle->valueOrNaN();
        if (c != 0 && c == static_cast<double>(shared.store.count()))
            freed = shared.store.clearForCycle();
        try {
            stored = shared.store.append(line, details);
        } catch (const std::bad_alloc &) {
        }
    }
    if (stored)
        shared.lineStored();
    else
        shared.lineRefused();
    shared.notifyLines();
}

void receivePasses(ReceiverShared *shared, int socket)
{
    char buffer[kReceiveBufferSize];
    for (;;) {
        if (shared->flags.test(ListenerFlags::StopRequest)) {
            if (socket >= 0)
                ::close(socket);
            shared->finishThread();
            return;
        }
        if (socket < 0) {
            // No socket to wait on: wait out the pass instead of circling.
            std::this_thread::sleep_for(std::chrono::milliseconds(kPassMs));
            continue;
        }
        pollfd watch{socket, POLLIN, 0};
        const auto passStart = std::chrono::steady_clock::now();
        const int ready = ::poll(&watch, 1, kPassMs);
        if (ready < 0) {
            // A failed wait is silent, but still takes its 50 ms.
            std::this_thread::sleep_until(passStart + std::chrono::milliseconds(kPassMs));
            continue;
        }
        if (ready == 0)
            continue;
        if (!(watch.revents & POLLIN)) {
            ShowError(QStringLiteral("Socket error."));
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        // MSG_TRUNC makes Linux report a datagram's real length, so one that did not fit the
        // buffer is detected instead of silently cut.
        const ssize_t n = ::recvfrom(socket, buffer, sizeof buffer, MSG_TRUNC,
                                     reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0) {
            const int error = errno;
            ShowError(QStringLiteral("recvfrom() failed: %1").arg(error));
            continue;
        }
        if (static_cast<size_t>(n) > sizeof buffer) {
            ShowError(QStringLiteral("recvfrom() failed: %1").arg(EMSGSIZE));
            continue;
        }
        LineDetails details;
        details.arrivalMs = QDateTime::currentMSecsSinceEpoch();
        details.address = ntohl(from.sin_addr.s_addr);
        details.port = ntohs(from.sin_port);
        storeLine(*shared, cutLine(buffer, static_cast<size_t>(n)), details);
    }
}

} // namespace

void ReceiveLoop(std::shared_ptr<ReceiverShared> shared, int socket)
{
    for (;;) {
        try {
            receivePasses(shared.get(), socket);
            return;
        } catch (const std::exception &) {
            // Out of memory for a message or a notification: that pass's datagram is lost,
            // the next pass goes on.
        }
    }
}
