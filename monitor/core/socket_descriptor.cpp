#include "socket_descriptor.h"

#include <unistd.h>

void SocketDescriptor::close() noexcept
{
    if (m_fd < 0)
        return;
    // Linux releases the descriptor even when close() reports an error: never retried.
    ::close(m_fd);
    m_fd = -1;
}
