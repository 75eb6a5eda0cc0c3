#pragma once
// Asks a line's exit node whether it still accepts the binding's credentials: SOCKS5 greeting and
// username/password sub-negotiation only, no CONNECT.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>

namespace zq::clientproxy {

enum class ProbeVerdict {
    Accepted, // the credentials passed the sub-negotiation
    Refused, // the exit node answered the credentials with a non-zero status
    Unreachable, // no usable answer: time-out, refused or reset connection, odd bytes
};

struct ProbeResult {
    ProbeVerdict verdict = ProbeVerdict::Unreachable;
    std::string msg; // "success" or why not
    bool accepted() const { return verdict == ProbeVerdict::Accepted; }
    bool refused() const { return verdict == ProbeVerdict::Refused; }
};

// "accepted", "refused" or "unreachable".
const char* verdictWord(ProbeVerdict verdict);

ProbeResult probeExitNode(const std::string& host, std::uint16_t port, const std::string& user,
    const std::string& password, std::chrono::milliseconds timeout);

// Keeps recent answers so a burst of reconciliation requests does not hammer the exit nodes.
// Only definite answers are kept: an unreachable exit node is asked again next time, and a
// refusal counts only when a second probe, a moment later, is refused too.
class ProbeCache {
public:
    using Prober
        = std::function<ProbeResult(const std::string& server, const std::string& user, const std::string& password)>;

    explicit ProbeCache(std::chrono::milliseconds ttl, Prober prober = {},
        std::chrono::milliseconds retryPause = std::chrono::milliseconds(300));
    ProbeResult probe(const std::string& server, const std::string& user, const std::string& password);
    void forget(const std::string& server, const std::string& user, const std::string& password);

private:
    using Key = std::tuple<std::string, std::string, std::string>;
    struct Entry {
        ProbeResult result;
        std::chrono::steady_clock::time_point at;
    };
    std::chrono::milliseconds m_ttl;
    Prober m_prober;
    std::chrono::milliseconds m_retryPause;
    std::mutex m_mutex;
    std::map<Key, Entry> m_entries;
};

} // namespace zq::clientproxy
