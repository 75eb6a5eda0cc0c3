#pragma once
// Real programs on loopback for the helper's tests: child processes, free ports, a target that
// prints the peer address, curl, a raw SOCKS5 client and a UDP listener.

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace httplib {
class Server;
}

namespace zq::test {

using Fields = std::vector<std::pair<std::string, std::string>>;

// A child process with a pipe on its standard input and its first stdout line readable.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args, const std::string& stderrFile = {});
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    int pid() const { return m_pid; }
    // First line of standard output, empty when none arrives in time.
    std::string readLine(std::chrono::milliseconds timeout);
    void closeStdin();
    // Exit code once the process has ended, or nullopt when it still runs after the timeout.
    std::optional<int> waitExit(std::chrono::milliseconds timeout);

private:
    int m_pid = -1;
    int m_stdin = -1;
    int m_stdout = -1;
    std::string m_buffer;
    std::optional<int> m_exit;
};

// A TCP port nobody listens on right now.
std::uint16_t freePort();
// `count` consecutive free TCP ports, none equal to `avoid`.
std::uint16_t freeRange(int count);

// HTTP target on 127.0.0.1 answering every GET with the caller's address.
class PeerTarget {
public:
    PeerTarget();
    ~PeerTarget();
    std::uint16_t port() const { return m_port; }

private:
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::uint16_t m_port = 0;
};

// A listening socket that never accepts: connections to it stay open until closed elsewhere.
class HoldTarget {
public:
    HoldTarget();
    ~HoldTarget();
    std::uint16_t port() const { return m_port; }

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

struct CurlResult {
    int exitCode = -1;
    std::string out;
};
CurlResult curl(const std::vector<std::string>& args);

// SOCKS5 (no auth) CONNECT to 127.0.0.1:targetPort through 127.0.0.1:proxyPort. Returns the open
// socket and the reply code (0 = granted), or -1 and the failing code.
std::pair<int, int> socksConnect(std::uint16_t proxyPort, std::uint16_t targetPort);
// True when the peer closes the socket within the timeout.
bool waitClosed(int fd, std::chrono::milliseconds timeout);

class UdpListener {
public:
    UdpListener();
    ~UdpListener();
    std::uint16_t port() const { return m_port; }
    // Next datagram, or nullopt after the timeout.
    std::optional<std::string> receive(std::chrono::milliseconds timeout);
    // Drops whatever is queued.
    int drain();

private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

// Multipart POST; the body as text (empty when nothing answered) and the HTTP status.
std::pair<int, std::string> postForm(
    const std::string& base, const std::string& path, const Fields& fields, const std::string& sessionId = {});
std::pair<int, std::string> httpGet(const std::string& base, const std::string& pathAndQuery);

} // namespace zq::test
