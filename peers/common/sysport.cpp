#include "sysport.h"

#include <cerrno>
#include <cstring>
#include <mutex>

#ifdef _WIN32
// Winsock before windows.h, which would bring the old winsock.h; tlhelp32.h needs windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <tlhelp32.h>
#else
#include <csignal>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#endif

namespace zq::sys {

namespace {
// After the peer's FIN a receive says only "end", even once a reset followed; the socket's
// error tells that.
bool resetAfterEnd(SocketHandle s)
{
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0 && error != 0;
}
} // namespace

#ifdef _WIN32

namespace {
SOCKET native(SocketHandle s)
{
    return static_cast<SOCKET>(s);
}

std::string utf8(const wchar_t* text, int length)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(std::size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

// Readable (or writable) within the time, by select: unlike WSAPoll it reports a refused connect.
int selectOne(SOCKET s, bool forWrite, int timeoutMs)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv { timeoutMs / 1000, (timeoutMs % 1000) * 1000 };
    const int r = ::select(0, forWrite ? nullptr : &ready, forWrite ? &ready : nullptr, &failed, &tv);
    return r > 0 ? 1 : r == 0 ? 0 : -1;
}
} // namespace

void initSockets()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
}

void ignoreBrokenPipeInThisThread() { }

SocketHandle openSocket(int family, int type, bool nonBlocking)
{
    initSockets();
    const SOCKET s = ::WSASocketW(family, type, 0, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET)
        return kNoSocket;
    u_long on = 1;
    if (nonBlocking)
        ::ioctlsocket(s, FIONBIO, &on);
    return SocketHandle(s);
}

void closeSocket(SocketHandle s)
{
    if (s != kNoSocket)
        ::closesocket(native(s));
}

int socketError()
{
    return ::WSAGetLastError();
}

bool wouldBlock(int error)
{
    return error == WSAEWOULDBLOCK;
}

bool connectInProgress(int error)
{
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}

bool interrupted(int error)
{
    return error == WSAEINTR;
}

std::string socketErrorText(int error)
{
    wchar_t* text = nullptr;
    const DWORD n
        = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, DWORD(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = n ? utf8(text, int(n)) : "error " + std::to_string(error);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.'))
        out.pop_back();
    return out;
}

void setReceiveTimeout(SocketHandle s, int ms)
{
    const DWORD timeout = DWORD(ms);
    ::setsockopt(native(s), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
}

int waitSocket(SocketHandle s, bool forWrite, int timeoutMs)
{
    return selectOne(native(s), forWrite, timeoutMs);
}

long sendSome(SocketHandle s, const void* data, std::size_t n)
{
    return ::send(native(s), static_cast<const char*>(data), int(n), 0);
}

PeerState peekPeer(SocketHandle s)
{
    // Peeking a socket that blocks would wait; ask first whether anything is there.
    if (selectOne(native(s), false, 0) == 0)
        return PeerState::Quiet;
    char probe;
    const int n = ::recv(native(s), &probe, 1, MSG_PEEK);
    if (n > 0)
        return PeerState::Data;
    if (n == 0)
        return resetAfterEnd(s) ? PeerState::Failed : PeerState::Ended;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? PeerState::Quiet : PeerState::Failed;
}

std::string executablePath(const char* argv0)
{
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, DWORD(sizeof buffer / sizeof buffer[0]));
    return n > 0 && n < sizeof buffer / sizeof buffer[0] ? utf8(buffer, int(n)) : std::string(argv0);
}

int processId()
{
    return int(GetCurrentProcessId());
}

bool processAlive(int pid)
{
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!h)
        return GetLastError() != ERROR_INVALID_PARAMETER; // access denied: it exists
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

namespace {
std::uint64_t creationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (std::uint64_t(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}
} // namespace

ParentWatch::ParentWatch()
{
    const DWORD self = GetCurrentProcessId();
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W e {};
    e.dwSize = sizeof e;
    for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e)) {
        if (e.th32ProcessID == self) {
            m_parent = long(e.th32ParentProcessID);
            break;
        }
    }
    CloseHandle(snap);
    if (m_parent <= 0)
        return; // no parent to follow
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(m_parent));
    // Windows reuses process ids: a "parent" younger than this process is someone else.
    if (h && creationTime(h) > creationTime(GetCurrentProcess())) {
        CloseHandle(h);
        h = nullptr;
    }
    m_handle = h;
    if (!h && GetLastError() == ERROR_INVALID_PARAMETER)
        m_parent = -2; // gone already
}

ParentWatch::~ParentWatch()
{
    if (m_handle)
        CloseHandle(static_cast<HANDLE>(m_handle));
}

bool ParentWatch::alive() const
{
    if (m_parent == -2)
        return false;
    return !m_handle || WaitForSingleObject(static_cast<HANDLE>(m_handle), 0) == WAIT_TIMEOUT;
}

#else

void initSockets()
{
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

void ignoreBrokenPipeInThisThread()
{
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

SocketHandle openSocket(int family, int type, bool nonBlocking)
{
    return ::socket(family, type | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

void closeSocket(SocketHandle s)
{
    if (s >= 0)
        ::close(s);
}

int socketError()
{
    return errno;
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

bool connectInProgress(int error)
{
    return error == EINPROGRESS;
}

bool interrupted(int error)
{
    return error == EINTR;
}

std::string socketErrorText(int error)
{
    return std::strerror(error);
}

void setReceiveTimeout(SocketHandle s, int ms)
{
    const timeval timeout { ms / 1000, (ms % 1000) * 1000 };
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

int waitSocket(SocketHandle s, bool forWrite, int timeoutMs)
{
    pollfd p { s, short(forWrite ? POLLOUT : POLLIN), 0 };
    const int r = ::poll(&p, 1, timeoutMs);
    return r > 0 ? 1 : r == 0 ? 0 : -1;
}

long sendSome(SocketHandle s, const void* data, std::size_t n)
{
    return ::send(s, data, n, MSG_NOSIGNAL);
}

PeerState peekPeer(SocketHandle s)
{
    char probe;
    const ssize_t n = ::recv(s, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0)
        return PeerState::Data;
    if (n == 0)
        return resetAfterEnd(s) ? PeerState::Failed : PeerState::Ended;
    return errno == EAGAIN || errno == EWOULDBLOCK ? PeerState::Quiet : PeerState::Failed;
}

std::string executablePath(const char* argv0)
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, std::size_t(n)) : std::string(argv0);
}

int processId()
{
    return int(::getpid());
}

bool processAlive(int pid)
{
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

ParentWatch::ParentWatch()
    : m_parent(long(::getppid()))
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // The parent may have gone before the request above: then we were handed to another.
    if (long(::getppid()) != m_parent)
        m_parent = -2;
}

ParentWatch::~ParentWatch() = default;

bool ParentWatch::alive() const
{
    return m_parent != -2 && long(::getppid()) == m_parent;
}

#endif

} // namespace zq::sys
