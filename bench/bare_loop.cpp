#include "bare_loop.h"

#include "line_text.h"
#include "udp_support.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace ingest
{

BareLoop::BareLoop(std::size_t held)
    : m_socket(bindUdpSocket()), m_port(localPort(m_socket)), m_held(held)
{
    m_lines.reserve(held + 4000000);
    for (std::size_t i = 0; i < held; ++i)
        m_lines.emplace_back(64, 'x');
    m_thread = std::thread([this] { run(); });
}

BareLoop::~BareLoop()
{
    m_stop = true;
    m_thread.join();
}

std::size_t BareLoop::count()
{
    ListLockGuard guard(m_flags);
    return m_lines.size();
}

void BareLoop::trim()
{
    ListLockGuard guard(m_flags);
    m_lines.resize(m_held);
}

void BareLoop::run()
{
    char buffer[kReceiveBufferSize];
    while (!m_stop) {
        pollfd watch{m_socket.get(), POLLIN, 0};
        if (::poll(&watch, 1, 50) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_socket.get(), buffer, sizeof buffer, MSG_TRUNC,
                                     reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n < 0 || std::size_t(n) > sizeof buffer)
            continue;
        const std::string_view line = cutLine(buffer, std::size_t(n));
        ListLockGuard guard(m_flags);
        m_lines.emplace_back(line);
    }
}

} // namespace ingest
