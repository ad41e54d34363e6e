#include "receiver.h"

#include "line_text.h"
#include "num_value_source.h"
#include "show_error.h"

#include <QDateTime>
#include <QObject>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>

namespace
{
constexpr int kPassMs = 50;
}

ReceiverShared::ReceiverShared(std::shared_ptr<const NumValueSource> cycle)
    : m_cycle(std::move(cycle))
{
    m_store.setByteLimit(defaultHeldBytesLimit());
}

void ReceiverShared::startThread(SocketDescriptor socket)
{
    // Running first: the thread may end before this returns, and clears it as it ends.
    m_flags.set(ListenerFlags::Running);
    try {
        std::thread(ReceiveLoop, shared_from_this(), std::move(socket)).detach();
    } catch (...) {
        m_flags.clear(ListenerFlags::Running);
        throw; // the socket went with the thread's arguments and is closed
    }
}

void ReceiverShared::requestStop()
{
    if (m_flags.test(ListenerFlags::Running))
        m_flags.set(ListenerFlags::StopRequest);
}

bool ReceiverShared::waitUntilStopped(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_endMutex);
    return m_ended.wait_for(lock, timeout,
                            [this] { return !m_flags.test(ListenerFlags::Running); });
}

void ReceiverShared::finishThread()
{
    {
        std::lock_guard lock(m_endMutex);
        m_flags.clear(ListenerFlags::Running | ListenerFlags::StopRequest);
    }
    m_ended.notify_all();
    post(m_receiverEnded);
}

void ReceiverShared::setContact(QObject *window, std::function<void()> linesArrived,
                                std::function<void()> receiverEnded)
{
    std::lock_guard lock(m_contactMutex);
    m_contact = window;
    m_linesArrived = std::move(linesArrived);
    m_receiverEnded = std::move(receiverEnded);
}

void ReceiverShared::clearContact()
{
    setContact(nullptr, {}, {});
}

bool ReceiverShared::post(const std::function<void()> &call)
{
    // Under the mutex, so the window cannot be destroyed between the test and the post.
    std::lock_guard lock(m_contactMutex);
    try {
        if (m_contact)
            QMetaObject::invokeMethod(m_contact, call, Qt::QueuedConnection);
        return true;
    } catch (const std::bad_alloc &) {
        return false; // the queued call needs memory
    }
}

void ReceiverShared::notifyLines()
{
    // A call that could not be posted is posted with the next line.
    if (!m_dirty.exchange(true, std::memory_order_acq_rel) && !post(m_linesArrived))
        m_dirty.store(false, std::memory_order_release);
}

void ReceiverShared::lineRefused()
{
    m_refused.fetch_add(1, std::memory_order_relaxed);
    if (m_refusing)
        return;
    m_refusing = true;
    ShowError(refusedLineMessage());
}

double ReceiverShared::cycleValue() const
{
    return m_cycle->valueOrNaN();
}

// A cycle field that does not read as a number at this moment skips the cycle rule for this
// datagram (NaN equals no count); the line is kept either way. The field's text was converted
// when it changed, so neither its value nor its text changes the cost here.
void ReceiverShared::storeLine(std::string_view line, const LineDetails &details)
{
    bool stored = false;
    FreedBlocks freed; // memory the cycle's clear let go of, freed after the lock
    {
        ListLockGuard guard(m_flags);
        const double c = cycleValue();
        if (c != 0 && c == static_cast<double>(m_store.count()))
            freed = m_store.clearForCycle();
        try {
            stored = m_store.append(line, details);
        } catch (const std::bad_alloc &) {
        }
    }
    if (stored)
        lineStored();
    else
        lineRefused();
    notifyLines();
}

LineStore::Snapshot ReceiverShared::linesForView()
{
    m_dirty.store(false, std::memory_order_release); // before the snapshot: later lines post
    return snapshot();
}

LineStore::Snapshot ReceiverShared::snapshot()
{
    ListLockGuard guard(m_flags);
    return m_store.snapshot();
}

void ReceiverShared::clearLines()
{
    ListLockGuard guard(m_flags);
    m_store.clear();
}

void ReceiverShared::prepareBlocks()
{
    // Blocks for the next frames' lines, their pages mapped here rather than on the receive
    // thread: as many as it asked for since the last update (two a frame keep up with about
    // 350k short lines a second, 1400-byte lines at 100k/s take nine), at most 16, about
    // 0.1 ms each. The reserve takes no ListLock: it is the store's for its whole life.
    BlockReserve &reserve = m_store.reserve();
    const std::size_t asked = reserve.takeAskedCount();
    reserve.fill(std::max<std::size_t>(4, asked + 2), std::max<std::size_t>(2, asked));
}

void ReceiverShared::setHeldBytesLimit(std::size_t bytes)
{
    ListLockGuard guard(m_flags);
    m_store.setByteLimit(bytes);
}

std::size_t ReceiverShared::lineCount()
{
    ListLockGuard guard(m_flags);
    return m_store.count();
}

std::size_t ReceiverShared::heldBytes()
{
    ListLockGuard guard(m_flags);
    return m_store.heldBytes();
}

bool ReceiverShared::appendLine(std::string_view line, const LineDetails &details)
{
    ListLockGuard guard(m_flags);
    return m_store.append(line, details);
}

void ReceiverShared::setFailAllocations(bool fail)
{
    ListLockGuard guard(m_flags);
    m_store.setFailAllocations(fail);
}

namespace
{

void receivePasses(ReceiverShared &shared, SocketDescriptor &socket)
{
    char buffer[kReceiveBufferSize];
    for (;;) {
        if (shared.flags().test(ListenerFlags::StopRequest)) {
            socket.close(); // before Running clears: the port is free once it reads clear
            return;
        }
        if (!socket.isValid()) {
            // No socket to wait on: wait out the pass instead of circling.
            std::this_thread::sleep_for(std::chrono::milliseconds(kPassMs));
            continue;
        }
        pollfd watch{socket.get(), POLLIN, 0};
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
        const ssize_t n = ::recvfrom(socket.get(), buffer, sizeof buffer, MSG_TRUNC,
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
        shared.storeLine(cutLine(buffer, static_cast<size_t>(n)), details);
    }
}

} // namespace

void ReceiveLoop(std::shared_ptr<ReceiverShared> shared, SocketDescriptor socket)
{
    for (;;) {
        try {
            receivePasses(*shared, socket);
            shared->finishThread();
            return;
        } catch (const std::exception &) {
            // Out of memory for a message or a notification: that pass's datagram is lost,
            // the next pass goes on.
        }
    }
}
