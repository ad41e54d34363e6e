#include "udp_support.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <thread>

SocketDescriptor bindUdpSocket(int port)
{
    SocketDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (socket.isValid() &&
        ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) < 0)
        socket.close();
    return socket;
}

int localPort(const SocketDescriptor &socket)
{
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (!socket.isValid() ||
        ::getsockname(socket.get(), reinterpret_cast<sockaddr *>(&bound), &length) < 0)
        return 0;
    return ntohs(bound.sin_port);
}

bool udpPortIsFree(int port)
{
    return bindUdpSocket(port).isValid();
}

DatagramSender::DatagramSender(int port, const char *address)
    : m_socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
    m_to.sin_family = AF_INET;
    m_to.sin_port = htons(static_cast<std::uint16_t>(port));
    m_addressValid = ::inet_pton(AF_INET, address, &m_to.sin_addr) == 1;
}

bool DatagramSender::send(std::string_view bytes)
{
    if (!m_socket.isValid() || !m_addressValid)
        return false;
    for (;;) {
        const ssize_t n = ::sendto(m_socket.get(), bytes.data(), bytes.size(), 0,
                                   reinterpret_cast<const sockaddr *>(&m_to), sizeof m_to);
        if (n == static_cast<ssize_t>(bytes.size()))
            return true;
        if (n < 0 && (errno == ENOBUFS || errno == EAGAIN || errno == EINTR)) {
            std::this_thread::yield();
            continue;
        }
        return false;
    }
}

int sendDatagramOnce(int port, std::string_view bytes, const char *address)
{
    DatagramSender sender(port, address);
    return sender.send(bytes) ? sender.localPort() : 0;
}

std::optional<UdpSocketCounters> udpSocketCounters(int port)
{
    // Each row: slot, local address:port, remote address:port, state, tx_queue:rx_queue (both
    // hexadecimal), ..., and last the drops.
    std::ifstream table("/proc/net/udp");
    std::string row;
    std::getline(table, row); // the header
    while (std::getline(table, row)) {
        std::istringstream fields(row);
        std::string slot, local, remote, state, queues, field, last;
        fields >> slot >> local >> remote >> state >> queues;
        const auto colon = local.find(':');
        if (colon == std::string::npos || std::stoi(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        while (fields >> field)
            last = field;
        UdpSocketCounters counters;
        counters.queuedBytes = std::stoull(queues.substr(queues.find(':') + 1), nullptr, 16);
        counters.drops = std::stoull(last);
        return counters;
    }
    return std::nullopt;
}
