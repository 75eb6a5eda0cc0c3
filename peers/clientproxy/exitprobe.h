#pragma once
// Asks a line's exit node whether it still accepts the binding's credentials: SOCKS5 greeting and
// username/password sub-negotiation only, no CONNECT.

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace zq::clientproxy {

struct ProbeResult {
    bool ok = false;
    std::string msg; // "success" or why not
};

ProbeResult probeExitNode(const std::string& host, std::uint16_t port, const std::string& user,
    const std::string& password, std::chrono::milliseconds timeout);

// Keeps recent answers so a burst of reconciliation requests does not hammer the exit nodes.
class ProbeCache {
public:
    explicit ProbeCache(std::chrono::milliseconds ttl)
        : m_ttl(ttl)
    {
    }
    ProbeResult probe(const std::string& server, const std::string& user, const std::string& password);
    void forget(const std::string& server, const std::string& user, const std::string& password);

private:
    using Key = std::tuple<std::string, std::string, std::string>;
    struct Entry {
        ProbeResult result;
        std::chrono::steady_clock::time_point at;
    };
    std::chrono::milliseconds m_ttl;
    std::mutex m_mutex;
    std::map<Key, Entry> m_entries;
};

} // namespace zq::clientproxy
