#pragma once
// "HOST:PORT" command-line values and the listening socket's backlog.

#include <cstdint>
#include <optional>
#include <string>

namespace zq::peers {

struct HostPort {
    std::string host;
    std::uint16_t port = 0;
    std::string text() const { return host + ":" + std::to_string(port); }
};

// Accepts "host:port", "[v6]:port"; the port must be 0..65535 (0 = pick a free one).
std::optional<HostPort> parseHostPort(const std::string& text);

// Loopback peers: 127.0.0.0/8, ::1 and IPv4-mapped 127.0.0.0/8, in numeric form only.
bool isLoopbackAddress(const std::string& addr);

} // namespace zq::peers
