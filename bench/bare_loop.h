#pragma once

#include "listener_flags.h"
#include "socket_descriptor.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace ingest
{

// The reference the window is measured against: a receive loop of the same shape as the
// program's ReceiveLoop (monitor/receiver.cpp) on a thread and a socket of its own, with no
// window, no store and no notification. Per datagram it does what the receive thread does:
// poll with a 50 ms wait, recvfrom with MSG_TRUNC into a 1601-byte buffer, cutLine, and the
// append under a test-and-set ListLock of its own ListenerFlags word, into a vector of strings
// with its capacity reserved. What the program adds to that (the cycle rule, the store's
// layout, telling the window, the GUI thread's share of the cores) is what the comparison
// shows. Keep it in step: a change to what ReceiveLoop does for every datagram belongs here
// too, or the two sides measure different work.
class BareLoop
{
public:
    // Listens on a port the system picks, holding `held` lines of 64 bytes to start with.
    explicit BareLoop(std::size_t held);
    ~BareLoop();
    BareLoop(const BareLoop &) = delete;
    BareLoop &operator=(const BareLoop &) = delete;

    int port() const { return m_port; }
    std::size_t count();
    // Back to the lines held before the flood.
    void trim();
    std::string_view line(std::size_t i) const { return m_lines[i]; }

private:
    void run();

    SocketDescriptor m_socket;
    int m_port = 0;
    std::size_t m_held = 0;
    std::atomic<bool> m_stop{false};
    ListenerFlags m_flags;
    std::vector<std::string> m_lines;
    std::thread m_thread;
};

} // namespace ingest
