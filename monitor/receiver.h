#pragma once

#include "line_store.h"
#include "listener_flags.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class NumValueSource;

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
    void post(const char *slot);

    std::atomic<bool> m_dirty{false};
    std::mutex m_contactMutex;
    QObject *m_contact = nullptr;
    std::mutex m_endMutex;
    std::condition_variable m_ended;
};

// The body of a receive thread that owns socket (-1 when none could be created). Pass after
// pass: look at StopRequest, wait at most 50 ms for a datagram, take one, cut its line and
// append it under ListLock after the cycle rule.
void ReceiveLoop(std::shared_ptr<ReceiverShared> shared, int socket);
