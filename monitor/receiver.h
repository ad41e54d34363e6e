#pragma once

#include "line_store.h"
#include "listener_flags.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class NumValueSource;

// What the receive thread says when it cannot store a line. Static text: saying it needs no
// memory.
inline QString refusedLineMessage()
{
    return QStringLiteral("Unable to insert a line");
}

// What the GUI thread and the receive thread share. The receive thread holds it by shared
// ownership, so it outlives the window if that thread is still held (by an error box, say)
// when the window goes.
class ReceiverShared
{
public:
    explicit ReceiverShared(std::shared_ptr<const NumValueSource> cycle);

    ListenerFlags flags;
    LineStore store; // changed only under ListLock
    const std::shared_ptr<const NumValueSource> cycle;

    // Datagrams received but not stored because the held lines were at their limit or memory
    // ran out.
    std::uint64_t refusedCount() const { return m_refused.load(std::memory_order_relaxed); }

    // Receive thread: after a datagram's line was stored, or refused. The first refusal after
    // lines were stored says so in a box ("Unable to insert a line"); the ones that follow
    // are only counted, until a line is stored again.
    void lineStored() { m_refusing = false; }
    void lineRefused();

    // The window that hears about new lines and the end of a receive thread, through queued
    // calls of its slots linesArrived() and receiverEnded(); none once it is gone.
    void setContact(QObject *window);

    // Receive thread: after an append. Posts one call per burst: the GUI thread clears the
    // dirty flag when it takes the lines.
    void notifyLines();
    void clearDirty() { m_dirty.store(false, std::memory_order_release); }

    // Receive thread, as it ends: clears Running and StopRequest in one step and tells the
    // GUI thread and anyone waiting in waitUntilStopped().
    void finishThread();

    // True when no receive thread runs, or when it ended within the timeout.
    bool waitUntilStopped(std::chrono::milliseconds timeout);

private:
    bool post(const char *slot); // false when the call could not be posted

    std::atomic<bool> m_dirty{false};
    std::atomic<std::uint64_t> m_refused{0};
    bool m_refusing = false; // receive thread only; kept from one receive thread to the next
    std::mutex m_contactMutex;
    QObject *m_contact = nullptr;
    std::mutex m_endMutex;
    std::condition_variable m_ended;
};

// The body of a receive thread that owns socket (-1 when none could be created). Pass after
// pass: look at StopRequest, wait at most 50 ms for a datagram, take one, cut its line and
// append it under ListLock after the cycle rule.
void ReceiveLoop(std::shared_ptr<ReceiverShared> shared, int socket);
