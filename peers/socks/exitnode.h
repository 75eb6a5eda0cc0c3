#pragma once
// SOCKS5 exit node of the stand-in service: username/password only (RFC 1929), CONNECT only,
// outgoing sockets bound to the exit IP of the line the credentials belong to.

#include "timeouts.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zq::socks {

struct ExitGrant {
    std::string bindIp; // outgoing sockets leave from this address
    std::function<void(std::uint64_t)> countBytes; // bytes relayed, reported in batches; may be empty
};

// Called from relay threads during the handshake; must be thread-safe and quick. nullopt refuses
// the client.
using Authorizer = std::function<std::optional<ExitGrant>(const std::string& user, const std::string& password)>;

class ExitNode {
public:
    explicit ExitNode(Authorizer authorize, unsigned threads = 0);
    ~ExitNode();
    ExitNode(const ExitNode&) = delete;
    ExitNode& operator=(const ExitNode&) = delete;

    // Port 0 picks a free port; returns the bound port, 0 on failure.
    std::uint16_t listen(const std::string& host, std::uint16_t port);
    // Before start().
    void setTimeouts(const Timeouts& timeouts);
    // As Relay::setPortable.
    void setPortable(bool on);
    bool portable() const;
    void start();
    // Closes the listener and every connection; their last byte counts are reported before it returns.
    void stop();
    std::size_t connectionCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zq::socks
