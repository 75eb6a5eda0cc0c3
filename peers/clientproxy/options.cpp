#include "options.h"

#include <cstdlib>
#include <map>
#include <set>

namespace zq::clientproxy {

std::vector<std::uint16_t> Options::rangePorts() const
{
    std::vector<std::uint16_t> ports;
    for (long long p = startPort; p < static_cast<long long>(startPort) + portNum && p <= 65535; ++p) {
        if (p != apiPort)
            ports.push_back(static_cast<std::uint16_t>(p));
    }
    return ports;
}

std::optional<long long> parseNumber(const std::string& text, long long lo, long long hi)
{
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi)
        return std::nullopt;
    return value;
}

std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error)
{
    static const std::set<std::string> known = { "api_port", "user", "pwd", "proxy_port_start", "proxy_port_num",
        "program_port", "uuid", "inner_ip", "udp_port", "sessionid" };
    std::map<std::string, std::string> values;
    for (const auto& arg : args) {
        const auto eq = arg.find('=');
        if (arg.size() < 2 || arg[0] != '-' || eq == std::string::npos) {
            error = "malformed argument \"" + arg + "\" (expected -key=value)";
            return std::nullopt;
        }
        const std::string key = arg.substr(1, eq - 1);
        if (!known.count(key)) {
            error = "unknown argument \"-" + key + "\"";
            return std::nullopt;
        }
        if (values.count(key)) {
            error = "argument \"-" + key + "\" given twice";
            return std::nullopt;
        }
        values[key] = arg.substr(eq + 1);
    }

    Options o;
    auto number = [&](const char* key, long long lo, long long hi, bool required) -> std::optional<long long> {
        const auto it = values.find(key);
        if (it == values.end()) {
            if (required)
                error = std::string("missing argument \"-") + key + "=\"";
            return required ? std::nullopt : std::optional<long long>(0);
        }
        auto v = parseNumber(it->second, lo, hi);
        if (!v)
            error = std::string("argument \"-") + key + "\" needs a number in [" + std::to_string(lo) + ", "
                + std::to_string(hi) + "], got \"" + it->second + "\"";
        return v;
    };
    const auto api = number("api_port", 1, 65535, true);
    if (!api)
        return std::nullopt;
    const auto start = number("proxy_port_start", 1, 65535, true);
    if (!start)
        return std::nullopt;
    const auto num = number("proxy_port_num", 0, 65535, true);
    if (!num)
        return std::nullopt;
    const auto program = number("program_port", 0, 65535, false);
    if (!program)
        return std::nullopt;
    const auto udp = number("udp_port", 0, 65535, false);
    if (!udp)
        return std::nullopt;
    if (*start + *num - 1 > 65535) {
        error = "port range " + std::to_string(*start) + "+" + std::to_string(*num) + " goes past 65535";
        return std::nullopt;
    }
    o.apiPort = static_cast<std::uint16_t>(*api);
    o.startPort = static_cast<std::uint16_t>(*start);
    o.portNum = static_cast<int>(*num);
    o.programPort = static_cast<std::uint16_t>(*program);
    o.udpPort = static_cast<std::uint16_t>(*udp);
    o.user = values["user"];
    o.password = values["pwd"];
    o.unionId = values["uuid"];
    o.innerIp = values["inner_ip"];
    o.sessionId = values["sessionid"];
    return o;
}

std::optional<PoolOptions> poolOptionsFromEnvironment(std::string& error)
{
    PoolOptions o;
    auto read = [&](const char* name, long long hi, long long& out) {
        const char* v = std::getenv(name);
        if (!v)
            return true;
        const auto n = parseNumber(v, 0, hi);
        if (!n) {
            error = std::string(name) + " needs a number in [0, " + std::to_string(hi) + "], got \"" + v + "\"";
            return false;
        }
        out = *n;
        return true;
    };
    long long max = o.max;
    if (!read("ZQ_POOL_IDLE_MS", 3600000, o.idleMs) || !read("ZQ_POOL_MAX", 64, max)
        || !read("ZQ_LINGER_MS", 3600000, o.lingerMs))
        return std::nullopt;
    o.max = static_cast<unsigned>(max);
    return o;
}

} // namespace zq::clientproxy
