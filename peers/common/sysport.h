#pragma once
// The few operating-system calls the peers make outside Asio, the same on Linux and Windows:
// plain sockets (Winsock wants its own handle type, start-up, close and error codes), the end of
// a connection seen without reading it, the executable's path, and whether a process still lives.
// No dependencies beyond the system, so the data plane can link it too.

#include <cstdint>
#include <string>

namespace zq::sys {

#ifdef _WIN32
using SocketHandle = std::uintptr_t; // SOCKET
inline constexpr SocketHandle kNoSocket = ~SocketHandle(0);
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// Once per process before the first socket call; later calls do nothing. Writes to a peer that
// has gone then fail with an error instead of ending the process.
void initSockets();
// The same for the calling thread alone (threads that start before initSockets).
void ignoreBrokenPipeInThisThread();

SocketHandle openSocket(int family, int type, bool nonBlocking = false);
void closeSocket(SocketHandle s);
// errno, or the last Winsock error.
int socketError();
bool wouldBlock(int error);
// What a connect on a non-blocking socket says while it goes on.
bool connectInProgress(int error);
bool interrupted(int error);
std::string socketErrorText(int error);
void setReceiveTimeout(SocketHandle s, int ms);
// Waits until `s` is readable (or writable); 1 ready, 0 time-out, -1 error or interrupted.
int waitSocket(SocketHandle s, bool forWrite, int timeoutMs);
// Sends without blocking and without a broken-pipe signal; as send().
long sendSome(SocketHandle s, const void* data, std::size_t n);

// What a look at the receive queue, without taking from it and without waiting, tells.
enum class PeerState {
    Quiet, // nothing arrived
    Data, // bytes wait
    Ended, // the peer will send no more (FIN)
    Failed, // reset or another error
};
PeerState peekPeer(SocketHandle s);

std::string executablePath(const char* argv0);
int processId();
// False only when no process with this id exists.
bool processAlive(int pid);

// Whether the process that started this one is still there.
class ParentWatch {
public:
    // On Linux also asks for SIGTERM when the parent dies. False from alive() at once when the
    // parent was gone before this was made.
    ParentWatch();
    ~ParentWatch();
    ParentWatch(const ParentWatch&) = delete;
    ParentWatch& operator=(const ParentWatch&) = delete;
    bool alive() const;

private:
    long m_parent = -1;
    void* m_handle = nullptr;
};

} // namespace zq::sys
