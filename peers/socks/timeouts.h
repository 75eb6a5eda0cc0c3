#pragma once
// Time limits of the SOCKS5 data plane; checked by one sweep per thread, not a timer per connection.

#include <chrono>

namespace zq::socks {

struct Timeouts {
    std::chrono::milliseconds handshake { 10000 }; // from accept until the CONNECT is answered
    std::chrono::milliseconds connect { 10000 }; // reaching the target or the upstream, its handshake included
    std::chrono::milliseconds idle { 2 * 3600 * 1000 }; // no byte either way
    std::chrono::milliseconds linger { 30000 }; // no byte after one direction has ended
};

} // namespace zq::socks
