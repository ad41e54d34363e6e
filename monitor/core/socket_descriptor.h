#pragma once

#include <utility>

// A socket descriptor with one owner at a time: moved, never copied, and closed when its owner
// is done with it, by close() or the destructor, nowhere else. The GUI thread opens the
// listening socket and hands it to the receive thread when that starts; a socket whose thread
// could not start goes with that thread's arguments and is closed here all the same.
class SocketDescriptor
{
public:
    SocketDescriptor() = default;
    // Takes over fd; -1 (a socket that could not be made) is no socket.
    explicit SocketDescriptor(int fd) noexcept : m_fd(fd) {}
    SocketDescriptor(SocketDescriptor &&other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    SocketDescriptor &operator=(SocketDescriptor &&other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    SocketDescriptor(const SocketDescriptor &) = delete;
    SocketDescriptor &operator=(const SocketDescriptor &) = delete;
    ~SocketDescriptor() { close(); }

    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    void close() noexcept;

private:
    int m_fd = -1;
};
