#include "notifier.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zq::clientproxy {

Notifier::Notifier(std::uint16_t port)
    : m_port(port)
{
    if (m_port != 0)
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
}

Notifier::~Notifier()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void Notifier::send(const std::string& json)
{
    if (m_fd < 0)
        return;
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::lock_guard<std::mutex> lock(m_mutex);
    ::sendto(m_fd, json.data(), json.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

} // namespace zq::clientproxy
