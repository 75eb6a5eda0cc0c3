// Tarn_Driver (stand-in): takes the client's seventeen launch arguments, decodes the encoded
// ones with the driver key and logs them, then talks to the client over UDP on 127.0.0.1:
// "listenPort" and "runOK" at start, "addProcessOK"/"delProcess" for "ADD "/"DELETE ", and
// "exitOK" for "Exit" before it leaves. It also leaves when the client that started it is gone.
//
// TARN_DRIVER_SILENT_EXIT=1 makes it ignore "Exit" (a driver that never answers), for tests.

#include "driverlog.h"
#include "payloadcodeccore.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

using zq::driver::logLine;

namespace {

constexpr int kArgumentCount = 17;
// Positions (1-based) of the arguments the client encodes.
constexpr int kEncoded[] = { 4, 6, 7, 10, 12, 15 };

volatile std::sig_atomic_t g_stop = 0;
void onSignal(int)
{
    g_stop = 1;
}

bool isEncoded(int position)
{
    for (int p : kEncoded) {
        if (p == position)
            return true;
    }
    return false;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string selfPath(const char* argv0)
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string(argv0);
}

bool sendTo(int socket, std::uint16_t port, const std::string& text)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const ssize_t n = ::sendto(socket, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    logLine("sent " + text + " to " + std::to_string(port));
    return n == ssize_t(text.size());
}

std::string state(const std::string& name)
{
    return nlohmann::json { { "state", name } }.dump();
}

} // namespace

int main(int argc, char** argv)
{
    // Leave with the process that started us, even one killed outright.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        return 0;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGPIPE, SIG_IGN);

    zq::driver::openLog(folderOf(selfPath(argv[0])) + "/Tarn_Driver.log");
    logLine("started, pid " + std::to_string(::getpid()) + ", " + std::to_string(argc - 1) + " arguments");
    if (argc - 1 != kArgumentCount) {
        logLine("error: expected " + std::to_string(kArgumentCount) + " arguments");
        return 2;
    }

    const zq::codec::Codec codec(zq::codec::kDriverKey);
    nlohmann::json understood = nlohmann::json::array();
    for (int i = 1; i <= kArgumentCount; ++i) {
        const std::string raw = argv[i];
        const std::string value = isEncoded(i) ? codec.decode(raw) : raw;
        logLine("argument " + std::to_string(i) + (isEncoded(i) ? " (decoded): [" : ": [") + value + "]");
        understood.push_back(value);
    }
    // One machine-readable line with everything understood.
    logLine("understood " + understood.dump());

    const std::string& clientPortText = understood[6].get_ref<const std::string&>();
    char* end = nullptr;
    const long clientPort = std::strtol(clientPortText.c_str(), &end, 10);
    if (clientPortText.empty() || *end != '\0' || clientPort <= 0 || clientPort > 65535) {
        logLine("error: argument 7 is no port: [" + clientPortText + "]");
        return 2;
    }

    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in self {};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof self;
    if (sock < 0 || ::bind(sock, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0
        || ::getsockname(sock, reinterpret_cast<sockaddr*>(&self), &length) != 0) {
        logLine(std::string("error: cannot bind a UDP port: ") + std::strerror(errno));
        return 3;
    }
    const timeval timeout { 0, 200 * 1000 };
    ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const auto client = std::uint16_t(clientPort);
    const int listenPort = ntohs(self.sin_port);
    logLine("listening on 127.0.0.1:" + std::to_string(listenPort));
    sendTo(sock, client, nlohmann::json { { "state", "listenPort" }, { "Port", std::to_string(listenPort) } }.dump());
    sendTo(sock, client, state("runOK"));

    const char* silent = std::getenv("TARN_DRIVER_SILENT_EXIT");
    const bool answerExit = !(silent && std::string(silent) == "1");
    char buffer[2048];
    while (!g_stop) {
        // A parent-death signal may be lost in a race at start; the parent id tells too.
        if (::getppid() != parent) {
            logLine("client gone; leaving");
            break;
        }
        const ssize_t n = ::recv(sock, buffer, sizeof buffer, 0);
        if (n < 0)
            continue;
        const std::string text(buffer, std::size_t(n));
        logLine("received [" + text + "]");
        if (text.rfind("ADD ", 0) == 0) {
            logLine("proxying program " + text.substr(4));
            sendTo(sock, client, state("addProcessOK"));
        } else if (text.rfind("DELETE ", 0) == 0) {
            logLine("no longer proxying program " + text.substr(7));
            sendTo(sock, client, state("delProcess"));
        } else if (text == "Exit") {
            if (!answerExit) {
                logLine("Exit ignored");
                continue;
            }
            sendTo(sock, client, state("exitOK"));
            logLine("exiting");
            ::close(sock);
            return 0;
        } else {
            logLine("unknown command ignored");
        }
    }
    logLine("stopped");
    ::close(sock);
    return 0;
}
