// Tarn_Driver (stand-in): takes the client's seventeen launch arguments, decodes the encoded
// ones with the driver key and logs them, then talks to the client over UDP on 127.0.0.1:
// "listenPort" and "runOK" at start, "addProcessOK"/"delProcess" for "ADD "/"DELETE ", and
// "exitOK" for "Exit" before it leaves. It also leaves when the client that started it is gone.
//
// TARN_DRIVER_SILENT_EXIT=1 makes it ignore "Exit" (a driver that never answers), for tests.

#include "driverlog.h"
#include "payloadcodeccore.h"
#include "sysport.h"

#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

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
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

bool sendTo(zq::sys::SocketHandle socket, std::uint16_t port, const std::string& text)
{
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const long n = ::sendto(socket, text.data(), int(text.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    logLine("sent " + text + " to " + std::to_string(port));
    return n == long(text.size());
}

std::string state(const std::string& name)
{
    return nlohmann::json { { "state", name } }.dump();
}

} // namespace

int main(int argc, char** argv)
{
    // Leave with the process that started us, even one killed outright.
    const zq::sys::ParentWatch parent;
    if (!parent.alive())
        return 0;
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    zq::sys::initSockets();

    zq::driver::openLog(folderOf(zq::sys::executablePath(argv[0])) + "/Tarn_Driver.log");
    logLine("started, pid " + std::to_string(zq::sys::processId()) + ", " + std::to_string(argc - 1) + " arguments");
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

    const zq::sys::SocketHandle sock = zq::sys::openSocket(AF_INET, SOCK_DGRAM);
    sockaddr_in self {};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof self;
    if (sock == zq::sys::kNoSocket || ::bind(sock, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0
        || ::getsockname(sock, reinterpret_cast<sockaddr*>(&self), &length) != 0) {
        logLine("error: cannot bind a UDP port: " + zq::sys::socketErrorText(zq::sys::socketError()));
        return 3;
    }
    zq::sys::setReceiveTimeout(sock, 200);
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
        if (!parent.alive()) {
            logLine("client gone; leaving");
            break;
        }
        const long n = ::recv(sock, buffer, sizeof buffer, 0);
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
            zq::sys::closeSocket(sock);
            return 0;
        } else {
            logLine("unknown command ignored");
        }
    }
    logLine("stopped");
    zq::sys::closeSocket(sock);
    return 0;
}
