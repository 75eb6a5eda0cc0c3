#pragma once
// Data plane shared by Relay and ExitNode: one io_context per thread, listeners that hand
// accepted sockets round-robin to the threads, connections tracked per listening port per
// thread, one idle/deadline sweep per thread, and the relay loop (one coroutine per direction,
// a per-thread buffer used only once a socket is readable).

#include "handshake.h"
#include "timeouts.h"

#include <asio.hpp>
#include <asio/experimental/as_tuple.hpp>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zq::socks::detail {

using tcp = asio::ip::tcp;
// Concrete executor types rather than the type-erased default: smaller sockets, operations and
// coroutine frames, which is most of what an idle connection costs.
using Executor = asio::io_context::executor_type;
using Socket = asio::basic_stream_socket<tcp, Executor>;
using Acceptor = asio::basic_socket_acceptor<tcp, Executor>;
using Resolver = asio::ip::basic_resolver<tcp, Executor>;
using Timer
    = asio::basic_waitable_timer<std::chrono::steady_clock, asio::wait_traits<std::chrono::steady_clock>, Executor>;
template <class T> using Task = asio::awaitable<T, Executor>;
inline constexpr auto nothrow = asio::experimental::as_tuple(asio::use_awaitable_t<Executor> {});
inline constexpr std::size_t kBufferSize = 64 * 1024;
// Byte counts are reported in batches of this size, and the rest when the connection ends.
inline constexpr std::uint64_t kCountBatch = 1024 * 1024;

class Engine;
struct Worker;

// One client connection and, once connected, its outgoing side.
struct Session {
    Session(Worker& w, std::uint16_t port, Socket client);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Ends both directions at once (errors, time-outs, closeConnections).
    void close();
    void setDeadline(std::chrono::milliseconds limit);
    void addCounted(std::uint64_t n);

    Worker& worker;
    const std::uint16_t port;
    Session* prev = nullptr;
    Session* next = nullptr;
    Socket client;
    Socket upstream;
    std::uint32_t lastActive = 0; // sweep generation of the last byte moved
    std::uint32_t deadline = 0; // sweep generation that ends the handshake; 0 while relaying
    bool relaying = false;
    bool halfClosed = false; // one direction has ended; the other gets only the linger
    bool closed = false;
    // Reaching the target or upstream: a time-out then closes only that side, so the client
    // still gets its reply.
    bool connecting = false;
    bool timedOut = false;
    std::uint64_t uncounted = 0;
    std::function<void(std::uint64_t)> countBytes;
};

struct Worker {
    explicit Worker(Engine& e);
    ~Worker();
    void link(Session* s);
    void unlink(Session* s);
    // Spare buffers for bytes a slow receiver could not take yet.
    void* takeBlock();
    void giveBlock(void* block);

    Engine& engine;
    std::size_t index = 0; // position among the engine's workers
    std::unordered_map<std::uint16_t, Session*> byPort;
    std::unique_ptr<std::uint8_t[]> buffer;
    // Pipes for moving bytes between sockets without copying. The last one is the thread's free
    // pipe; a direction whose receiver is full keeps the pipe holding its bytes until drained.
    struct Pipe {
        int read = -1;
        int write = -1;
    };
    bool takePipe(Pipe& out); // removes the free pipe from the pool
    void givePipe(Pipe p); // back to the pool; must be empty
    static void closePipe(Pipe p);
    // Splices when the engine is not portable and a pipe can be had (ZQ_SOCKS_NO_SPLICE=1: never).
    void choosePath(bool portable);
    bool splicing = false;
    std::vector<Pipe> pipes;
    std::vector<void*> spare;
    std::uint32_t gen = 1;
    asio::io_context ctx { 1 };
    Timer sweepTimer { ctx };
    std::unique_ptr<asio::executor_work_guard<asio::io_context::executor_type>> guard;
    std::thread thread;
    std::atomic<bool> shedQueued { false };
};

class Engine {
public:
    using Serve = std::function<Task<void>(std::shared_ptr<Session>)>;

    Engine(unsigned threads, Serve serve);
    ~Engine();

    // Before start().
    void setTimeouts(const Timeouts& t) { m_timeouts = t; }
    const Timeouts& timeouts() const { return m_timeouts; }
    std::uint32_t generationsFor(std::chrono::milliseconds limit) const;
    // Most sessions at once, 0 for no limit; at the limit new clients wait in the listen queue.
    // Before start().
    void setMaxSessions(std::size_t n) { m_maxSessions = n; }
    // Portable: bytes are copied through a buffer and a gone client is told by peeking, as on
    // Windows; otherwise Linux splices through pipes and polls for a hang-up. Portable by default
    // where there is no splice, or with ZQ_PORTABLE_DATAPLANE=1. Before start().
    void setPortable(bool on);
    bool portable() const { return m_portable; }

    // Returns the bound port, 0 with `ec` set on failure.
    std::uint16_t listen(const std::string& host, std::uint16_t port, std::error_code& ec);
    void closeListeners();
    // nullptr closes every connection.
    void closeConnections(const std::vector<std::uint16_t>* ports);
    void start();
    void stop();
    std::size_t connectionCount() const { return m_count.load(std::memory_order_relaxed); }
    std::size_t workerCount() const { return m_workers.size(); }
    Worker& worker(std::size_t i) { return *m_workers[i]; }
    // Runs `fn` on each worker's thread in turn and waits for it (inline before start).
    void runOnEach(const std::function<void(Worker&)>& fn);

private:
    friend struct Session;
    struct Listener;

    void runOn(Worker& w, const std::function<void()>& fn);
    void startSession(Worker& w, std::uint16_t port, Socket sock);
    Task<void> acceptLoop(std::shared_ptr<Listener> l);
    // Out of descriptors (or socket buffers, as Windows says it) or at the session limit: every
    // thread ends its sessions whose client has gone and its oldest half-closed ones, so that new
    // clients get in.
    void shed();
    static void shedOn(Worker& w);
    // Sheds and backs off briefly; false once the listener is closed.
    Task<bool> makeRoom(Listener& l);
    Task<void> sweepLoop(Worker& w);

    Serve m_serve;
    Timeouts m_timeouts;
    std::chrono::milliseconds m_sweepInterval { 1000 };
    std::size_t m_maxSessions = 0;
    bool m_portable = false;
    std::atomic<std::size_t> m_count { 0 };
    std::atomic<unsigned> m_next { 0 };
    std::atomic<bool> m_running { false };
    std::mutex m_mutex; // guards m_listeners and start/stop
    std::vector<std::shared_ptr<Listener>> m_listeners;
    std::vector<std::unique_ptr<Worker>> m_workers;
};

// Bytes of a handshake read so far; lives only until the CONNECT is answered.
struct HandshakeBuffer {
    std::array<std::uint8_t, 1024> data;
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string rest() const { return std::string(reinterpret_cast<const char*>(data.data() + begin), end - begin); }
};

// Reads until `parse` sees one whole message (Good) or a broken one (Bad); NeedMore means the
// peer closed or the time-out struck first.
template <class F> Task<Parse> readMessage(Socket& sock, HandshakeBuffer& b, F&& parse)
{
    for (;;) {
        std::size_t used = 0;
        const Parse r = parse(b.data.data() + b.begin, b.end - b.begin, used);
        if (r == Parse::Good)
            b.begin += used;
        if (r != Parse::NeedMore)
            co_return r;
        if (b.end == b.data.size()) {
            if (b.begin == 0)
                co_return Parse::Bad;
            std::memmove(b.data.data(), b.data.data() + b.begin, b.end - b.begin);
            b.end -= b.begin;
            b.begin = 0;
        }
        auto [ec, n]
            = co_await sock.async_read_some(asio::buffer(b.data.data() + b.end, b.data.size() - b.end), nothrow);
        if (ec)
            co_return Parse::NeedMore;
        b.end += n;
    }
}

Task<bool> writeAll(Socket& sock, std::string bytes);
// Socket options every relayed socket gets.
void tune(Socket& sock);
// Starts both directions; the session lives until both have ended.
void startRelaying(std::shared_ptr<Session> s);

} // namespace zq::socks::detail
