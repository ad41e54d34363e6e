#pragma once

#include "line_store.h"
#include "listener_flags.h"
#include "socket_descriptor.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>

class NumValueSource;
class QObject;

// What the receive thread says when it cannot store a line. Static text: saying it needs no
// memory.
inline QString refusedLineMessage()
{
    return QStringLiteral("Unable to insert a line");
}

// What the GUI thread and the receive thread share: the listener flags, the line list and the
// cycle field's value. Every operation on the list takes ListLock itself, does O(1) work under
// it and never waits for anything else there; nobody takes the lock from outside. The receive
// thread holds this by shared ownership, so it outlives the window if that thread is still
// held (by an error box, say) when the window goes.
class ReceiverShared : public std::enable_shared_from_this<ReceiverShared>
{
public:
    // Make it with std::make_shared: a receive thread keeps it alive.
    explicit ReceiverShared(std::shared_ptr<const NumValueSource> cycle);

    // The flags word, to look at. Its bits change only through startThread(), requestStop()
    // and the receive thread's end.
    const ListenerFlags &flags() const { return m_flags; }

    // GUI thread: sets Running and starts a receive thread that owns socket (none is allowed:
    // the thread then waits out its passes until it is stopped). Throws std::system_error when
    // the thread cannot start; Running is clear again then, and the socket closed.
    void startThread(SocketDescriptor socket);
    // GUI thread: raises StopRequest while a receive thread runs. Only a running thread clears
    // it again, so raising it otherwise would stop the next thread at its first pass.
    void requestStop();
    // True when no receive thread runs, or when it ended within the timeout.
    bool waitUntilStopped(std::chrono::milliseconds timeout);

    // Whom to tell, on the GUI thread, about new lines and the end of a receive thread: queued
    // calls in window's thread, none once the contact is cleared (before window goes).
    void setContact(QObject *window, std::function<void()> linesArrived,
                    std::function<void()> receiverEnded);
    void clearContact();

    // Receive thread: one datagram's line into the list, all under ListLock: the cycle rule,
    // then the append. Then a refusal is counted (and the first after stored lines shown), and
    // the window told.
    void storeLine(std::string_view line, const LineDetails &details);

    // GUI thread, when it shows the lines: later lines tell it again, and the snapshot has
    // what arrived until now.
    LineStore::Snapshot linesForView();
    // "Clear": the lines are handed to the next snapshot, to be freed outside the lock.
    void clearLines();
    // GUI thread, after a view update: makes text blocks ready for the next frames' lines.
    void prepareBlocks();
    // The most memory that held lines may take; beyond it datagrams are refused.
    void setHeldBytesLimit(std::size_t bytes);

    // The cycle field's value as the receive thread reads it for every datagram: NaN while
    // its text is not a number.
    double cycleValue() const;
    // Datagrams received but not stored because the held lines were at their limit or memory
    // ran out.
    std::uint64_t refusedCount() const { return m_refused.load(std::memory_order_relaxed); }

    // For tests and the benchmark, each under ListLock: a snapshot without re-arming the
    // window's notification, the count and memory of the lines, an append as it is (no cycle
    // rule, nobody told), and appends that fail as they do when memory has run out.
    LineStore::Snapshot snapshot();
    std::size_t lineCount();
    std::size_t heldBytes();
    bool appendLine(std::string_view line, const LineDetails &details);
    void setFailAllocations(bool fail);

private:
    friend void ReceiveLoop(std::shared_ptr<ReceiverShared> shared, SocketDescriptor socket);

    // Receive thread, as it ends: clears Running and StopRequest in one step and tells the GUI
    // thread and anyone waiting in waitUntilStopped().
    void finishThread();
    // After a datagram's line was stored, or refused. The first refusal after lines were
    // stored says so in a box ("Unable to insert a line"); the ones that follow are only
    // counted, until a line is stored again.
    void lineStored() { m_refusing = false; }
    void lineRefused();
    // Posts one call per burst: the GUI thread re-arms it in linesForView().
    void notifyLines();
    // False when the call could not be posted (it needs memory).
    bool post(const std::function<void()> &call);

    ListenerFlags m_flags;
    LineStore m_store; // changed only under ListLock
    const std::shared_ptr<const NumValueSource> m_cycle;
    std::atomic<bool> m_dirty{false};
    std::atomic<std::uint64_t> m_refused{0};
    // The thread that stores lines only (the receive thread, or a test or benchmark standing in
    // for it); kept from one receive thread to the next.
    bool m_refusing = false;
    // Held to post a call, so that the window cannot go between the test and the post.
    std::mutex m_contactMutex;
    QObject *m_contact = nullptr;
    std::function<void()> m_linesArrived;
    std::function<void()> m_receiverEnded;
    std::mutex m_endMutex;
    std::condition_variable m_ended;
};

// The body of a receive thread that owns socket (none when it could not be made). Pass after
// pass: look at StopRequest, wait at most 50 ms for a datagram, take one, cut its line and store
// it (ReceiverShared::storeLine). On StopRequest it closes the socket, then ends.
void ReceiveLoop(std::shared_ptr<ReceiverShared> shared, SocketDescriptor socket);
