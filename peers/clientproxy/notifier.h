#pragma once
// One JSON datagram to the client's notification port after each change of the bindings.

#include "sysport.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace zq::clientproxy {

class Notifier {
public:
    explicit Notifier(std::uint16_t port);
    ~Notifier();
    Notifier(const Notifier&) = delete;
    Notifier& operator=(const Notifier&) = delete;

    // Fire and forget; nothing happens when the port is 0.
    void send(const std::string& json);

private:
    std::uint16_t m_port;
    sys::SocketHandle m_fd = sys::kNoSocket;
    std::mutex m_mutex;
};

} // namespace zq::clientproxy
