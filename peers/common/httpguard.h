#pragma once
// A front gate for the peers' HTTP servers. Before a request reaches a worker thread, one gate
// thread waits (poll, no thread per peer) until its head and body are in the socket buffer, within
// a deadline and within limits on head size, header count and body size; chunked bodies are
// refused, and a screen can refuse on peer, path and query. Only then does httplib read the
// request, on a worker, with one request per connection so every request passes the gate.

#include <httplib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zq::peers {

// What the gate knows of a request before reading its body.
struct RequestHead {
    std::string peer; // remote address, IPv4-mapped IPv6 shown as IPv4
    std::string method;
    std::string path; // without the query
    httplib::Params query; // decoded query items
};

struct Refusal {
    int status = 403;
    std::string body;
    std::string contentType = "application/json";
};

struct GateLimits {
    std::size_t maxHead = 16 * 1024; // request line and headers
    std::size_t maxHeaders = 64;
    std::size_t maxBody = 1 << 20;
    std::chrono::milliseconds deadline { 10000 }; // whole request, head and body
    unsigned perPeer = 16; // open connections of one non-loopback address
    unsigned perLoopback = 1000; // open connections from loopback, all of them together
    unsigned workers = 32; // threads running handlers
    std::function<std::optional<Refusal>(const RequestHead&)> screen;
    // The reply to a request the gate refuses itself; a JSON envelope {"code": status, "msg"} if unset.
    std::function<Refusal(const RequestHead&, int status, const std::string& msg)> answer;
};

class Gate;

// Admits an accepted socket; the gate later runs `serve` on a worker or closes it itself.
void gateAdmit(Gate& gate, int sock, std::function<void(int)> serve);

// A server whose accepted sockets pass the gate first (plain HTTP only: the gate reads bytes).
class GatedServer : public httplib::Server {
public:
    void setGate(std::shared_ptr<Gate> gate) { m_gate = std::move(gate); }

private:
    // httplib runs this for each accepted socket; the gate takes it over.
    bool process_and_close_socket(socket_t sock) override;
    // One request on a socket the gate has passed; closes it.
    void serveOne(int sock);

    std::shared_ptr<Gate> m_gate;
};

// Builds the gate and makes `server` use it. The server's task queue and keep-alive count are set
// here; do not set them afterwards.
std::shared_ptr<Gate> installGate(GatedServer& server, GateLimits limits);

} // namespace zq::peers
