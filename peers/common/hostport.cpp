#include "hostport.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdlib>

namespace zq::peers {

std::optional<HostPort> parseHostPort(const std::string& text)
{
    std::string host;
    std::string port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const auto colon = text.rfind(':');
        if (colon == std::string::npos)
            return std::nullopt;
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty() || port.empty() || port.size() > 5)
        return std::nullopt;
    for (char c : port)
        if (c < '0' || c > '9')
            return std::nullopt;
    const long value = std::strtol(port.c_str(), nullptr, 10);
    if (value > 65535)
        return std::nullopt;
    return HostPort { host, std::uint16_t(value) };
}

bool isLoopbackAddress(const std::string& addr)
{
    in_addr v4 {};
    if (::inet_pton(AF_INET, addr.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6 {};
    if (::inet_pton(AF_INET6, addr.c_str(), &v6) != 1)
        return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6))
        return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

} // namespace zq::peers
