#include "notifier.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

namespace zq::clientproxy {

Notifier::Notifier(std::uint16_t port)
    : m_port(port)
{
    // Never blocks: a full send buffer drops the datagram.
    if (m_port != 0)
        m_fd = sys::openSocket(AF_INET, SOCK_DGRAM, true);
}

Notifier::~Notifier()
{
    sys::closeSocket(m_fd);
}

void Notifier::send(const std::string& json)
{
    if (m_fd == sys::kNoSocket)
        return;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::lock_guard<std::mutex> lock(m_mutex);
    ::sendto(m_fd, json.data(), int(json.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

} // namespace zq::clientproxy
