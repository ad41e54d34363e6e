#pragma once

#include "socket_descriptor.h"

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string_view>

// UDP on this machine, for the tests and the benchmark. IPv4 only, as the program.

// A UDP socket bound to port on every local address (0: a free port that the system picks);
// none when it cannot be bound.
SocketDescriptor bindUdpSocket(int port = 0);
// The local port of a socket, 0 when it has none.
int localPort(const SocketDescriptor &socket);
// Whether a UDP socket could be bound to port right now.
bool udpPortIsFree(int port);

// Sends datagrams to address:port (127.0.0.1 unless told) from one socket of its own.
class DatagramSender
{
public:
    explicit DatagramSender(int port, const char *address = "127.0.0.1");

    // False when the datagram could not be sent; a full send buffer is waited out.
    bool send(std::string_view bytes);
    // The port it sends from, once it has sent.
    int localPort() const { return ::localPort(m_socket); }

private:
    SocketDescriptor m_socket;
    sockaddr_in m_to{};
    bool m_addressValid = false;
};

// One datagram from a socket of its own: the port it was sent from, or 0 when it could not be
// sent.
int sendDatagramOnce(int port, std::string_view bytes, const char *address = "127.0.0.1");

// What the kernel reports for the UDP socket bound at a port (/proc/net/udp).
struct UdpSocketCounters {
    std::uint64_t queuedBytes = 0; // datagrams waiting in its queue
    std::uint64_t drops = 0;       // datagrams dropped because the queue was full
};
// None when no socket is bound at port.
std::optional<UdpSocketCounters> udpSocketCounters(int port);
