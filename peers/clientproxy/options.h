#pragma once
// The helper's command line: ten "-key=value" arguments passed by the client.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zq::clientproxy {

struct Options {
    std::uint16_t apiPort = 0;
    std::string user;
    std::string password;
    std::uint16_t startPort = 0;
    int portNum = 0;
    std::uint16_t programPort = 0;
    std::string unionId;
    std::string innerIp;
    std::uint16_t udpPort = 0; // 0: no notifications
    std::string sessionId;

    // The ports of [startPort, startPort + portNum) without the API port.
    std::vector<std::uint16_t> rangePorts() const;
};

// Warm upstream connections per bound port, set from the environment:
//   ZQ_POOL_IDLE_MS  age at which a waiting upstream connection is retired (default 5000; keep it
//                    below the upstream's handshake time-out; 0 turns the pool off)
//   ZQ_POOL_MAX      most waiting connections per bound port (default 8; 0 turns the pool off)
struct PoolOptions {
    long long idleMs = 5000;
    unsigned max = 8;
    long long lingerMs = 30000; // ZQ_LINGER_MS: a relay's other direction after one has ended
};
// nullopt with a readable reason in `error` when a variable is set but not a number in range.
std::optional<PoolOptions> poolOptionsFromEnvironment(std::string& error);

// nullopt with a readable reason in `error` for unknown keys, bad numbers, repeated or missing
// arguments.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

// Strict decimal parse into [lo, hi]; no sign, no spaces, no trailing text.
std::optional<long long> parseNumber(const std::string& text, long long lo, long long hi);

} // namespace zq::clientproxy
