#include "testsupport.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zq::test {

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

std::uint16_t boundPort(int fd)
{
    sockaddr_in a {};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

bool portFree(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

bool readFull(int fd, unsigned char* out, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        const ssize_t r = ::recv(fd, out + done, n - done, 0);
        if (r <= 0)
            return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

} // namespace

Process::Process(const std::string& program, const std::vector<std::string>& args, const std::string& stderrFile)
{
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        const int err = ::open(
            stderrFile.empty() ? "/dev/null" : stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (err >= 0)
            ::dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];
}

Process::~Process()
{
    // Asked first, so that it ends as in use (and a sanitized build checks for leaks); killed when
    // it does not.
    if (m_pid > 0 && !m_exit) {
        ::kill(m_pid, SIGTERM);
        if (!waitExit(std::chrono::seconds(3))) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    if (m_stdin >= 0)
        ::close(m_stdin);
    if (m_stdout >= 0)
        ::close(m_stdout);
}

std::string Process::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return line;
        }
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                  .count();
        if (left <= 0)
            return {};
        pollfd p { m_stdout, POLLIN, 0 };
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            return {};
        char buf[512];
        const ssize_t n = ::read(m_stdout, buf, sizeof buf);
        if (n <= 0)
            return {};
        m_buffer.append(buf, static_cast<std::size_t>(n));
    }
}

void Process::closeStdin()
{
    if (m_stdin >= 0)
        ::close(m_stdin);
    m_stdin = -1;
}

std::optional<int> Process::waitExit(std::chrono::milliseconds timeout)
{
    if (m_exit)
        return m_exit;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return m_exit;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

std::uint16_t freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const auto port = boundPort(fd);
    ::close(fd);
    return port;
}

std::uint16_t freeRange(int count)
{
    std::mt19937 rng(std::random_device {}());
    std::uniform_int_distribution<int> pick(20000, 32000 - count);
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int base = pick(rng);
        bool ok = true;
        for (int p = base; p < base + count && ok; ++p)
            ok = portFree(static_cast<std::uint16_t>(p));
        if (ok)
            return static_cast<std::uint16_t>(base);
    }
    return 0;
}

PeerTarget::PeerTarget()
    : m_server(std::make_unique<httplib::Server>())
{
    m_server->Get("/",
        [](const httplib::Request& req, httplib::Response& res) { res.set_content(req.remote_addr, "text/plain"); });
    m_port = static_cast<std::uint16_t>(m_server->bind_to_any_port("127.0.0.1"));
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

PeerTarget::~PeerTarget()
{
    m_server->stop();
    m_thread.join();
}

HoldTarget::HoldTarget()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(m_fd, 64);
    m_port = boundPort(m_fd);
}

HoldTarget::~HoldTarget()
{
    ::close(m_fd);
}

CurlResult curl(const std::vector<std::string>& args)
{
    std::string cmd = "curl -s --max-time 10";
    for (const auto& a : args)
        cmd += " '" + a + "'";
    cmd += " 2>/dev/null";
    CurlResult r;
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        r.out.append(buf, n);
    const int status = ::pclose(f);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::pair<int, int> socksConnect(std::uint16_t proxyPort, std::uint16_t targetPort)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(proxyPort);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return { -1, -1 };
    }
    unsigned char greet[] = { 5, 1, 0 };
    unsigned char reply[10];
    ::send(fd, greet, sizeof greet, MSG_NOSIGNAL);
    if (!readFull(fd, reply, 2) || reply[1] != 0) {
        ::close(fd);
        return { -1, -1 };
    }
    unsigned char req[] = { 5, 1, 0, 1, 127, 0, 0, 1, static_cast<unsigned char>(targetPort >> 8),
        static_cast<unsigned char>(targetPort & 0xff) };
    ::send(fd, req, sizeof req, MSG_NOSIGNAL);
    if (!readFull(fd, reply, 4)) {
        ::close(fd);
        return { -1, -1 };
    }
    const int code = reply[1];
    if (code != 0) {
        ::close(fd);
        return { -1, code };
    }
    // Bound address: IPv4 (4 + 2) or IPv6 (16 + 2); domain not expected.
    unsigned char rest[18];
    readFull(fd, rest, reply[3] == 4 ? 18 : 6);
    return { fd, 0 };
}

bool waitClosed(int fd, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p { fd, POLLIN, 0 };
        const auto left
            = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                  .count();
        if (::poll(&p, 1, static_cast<int>(std::max<long long>(left, 1))) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return true;
    }
    return false;
}

UdpListener::UdpListener()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    m_port = boundPort(m_fd);
}

UdpListener::~UdpListener()
{
    ::close(m_fd);
}

std::optional<std::string> UdpListener::receive(std::chrono::milliseconds timeout)
{
    pollfd p { m_fd, POLLIN, 0 };
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0)
        return std::nullopt;
    char buf[65536];
    const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n < 0)
        return std::nullopt;
    return std::string(buf, static_cast<std::size_t>(n));
}

int UdpListener::drain()
{
    int n = 0;
    while (receive(std::chrono::milliseconds(0)))
        ++n;
    return n;
}

std::pair<int, std::string> postForm(
    const std::string& base, const std::string& path, const Fields& fields, const std::string& sessionId)
{
    httplib::Client cli(base);
    cli.set_read_timeout(15, 0);
    httplib::MultipartFormDataItems items;
    for (const auto& [k, v] : fields)
        items.push_back({ k, v, "", "" });
    httplib::Headers headers;
    if (!sessionId.empty())
        headers.emplace("session-id", sessionId);
    auto res = cli.Post(path.c_str(), headers, items);
    if (!res)
        return { 0, {} };
    return { res->status, res->body };
}

std::pair<int, std::string> httpGet(const std::string& base, const std::string& pathAndQuery)
{
    httplib::Client cli(base);
    cli.set_read_timeout(15, 0);
    auto res = cli.Get(pathAndQuery.c_str());
    if (!res)
        return { 0, {} };
    return { res->status, res->body };
}

} // namespace zq::test
