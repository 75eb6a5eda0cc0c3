#include "engine.h"

#include "sysport.h"

#include <algorithm>
#include <cstdlib>
#include <future>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/resource.h>
#endif
#ifdef __linux__
// Socket to pipe to socket inside the kernel.
#define ZQ_SOCKS_SPLICE 1
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace zq::socks::detail {

namespace {
constexpr std::size_t kSpareBlocks = 4;
// Pipes hold page references, not copies: a larger one moves more per wake-up at no memory cost
// while idle (1 MiB measured ~8% faster than 256 KiB on a loopback chain). 1 MiB is the default
// ceiling for unprivileged pipes; where the system refuses it, the pipe keeps its default size.
// Overridable for measurements.
const std::size_t kPipeSize = [] {
    const char* v = std::getenv("ZQ_SOCKS_PIPE_SIZE");
    return v ? std::size_t(std::strtoul(v, nullptr, 10)) : std::size_t(1024 * 1024);
}();
// A busy stream gets this many reads in a row before other connections of its thread get a turn.
constexpr int kReadBurst = 8;
constexpr auto kAcceptPause = std::chrono::milliseconds(50);
// Shedding ends at least this many half-closed sessions per thread, or a quarter of them.
constexpr std::size_t kShedAtLeast = 8;

// Many ports times many clients: take every descriptor the system allows. Windows sockets have
// no small per-process limit to raise.
void raiseDescriptorLimit()
{
#ifndef _WIN32
    static std::once_flag once;
    std::call_once(once, [] {
        rlimit lim {};
        if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
            lim.rlim_cur = lim.rlim_max;
            setrlimit(RLIMIT_NOFILE, &lim);
        }
    });
#endif
}

// Windows says WSAEMFILE and WSAENOBUFS, which Asio gives as no_descriptors and no_buffer_space.
bool outOfResources(const std::error_code& ec)
{
    return ec == asio::error::no_descriptors || ec == std::errc::too_many_files_open_in_system
        || ec == asio::error::no_buffer_space || ec == std::errc::no_buffer_space || ec == asio::error::no_memory;
}

bool envFlag(const char* name)
{
    const char* v = std::getenv(name);
    return v && *v && std::string_view(v) != "0";
}

bool portableByDefault()
{
#ifdef ZQ_SOCKS_SPLICE
    static const bool forced = envFlag("ZQ_PORTABLE_DATAPLANE");
    return forced;
#else
    return true;
#endif
}

// Spare relay buffers are mapped, not malloc'ed, so the pages go back to the system when a
// burst is over.
void* mapBlock()
{
#ifdef _WIN32
    return VirtualAlloc(nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
#else
    void* b = mmap(nullptr, kBufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return b == MAP_FAILED ? nullptr : b;
#endif
}

void unmapBlock(void* b)
{
#ifdef _WIN32
    VirtualFree(b, 0, MEM_RELEASE);
#else
    munmap(b, kBufferSize);
#endif
}

bool wouldBlock(const std::error_code& ec)
{
    return ec == asio::error::would_block || ec == asio::error::try_again;
}

// The client reset or closed. Before relaying, its end of sending counts too: a client that has
// said all it will before its answer came is taken as gone.
bool clientGone(Session& s)
{
#ifdef __linux__
    if (!s.worker.engine.portable()) {
        pollfd p { s.client.native_handle(), short(s.relaying ? 0 : POLLRDHUP), 0 };
        return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
    }
#endif
    // Without a hang-up event: a peek tells a reset, and an end of sending unless it is one
    // side of a relayed half-close.
    switch (sys::peekPeer(s.client.native_handle())) {
    case sys::PeerState::Failed:
        return true;
    case sys::PeerState::Ended:
        return !s.relaying;
    default:
        return false;
    }
}
} // namespace

// ---- Session

Session::Session(Worker& w, std::uint16_t p, Socket c)
    : worker(w)
    , port(p)
    , client(std::move(c))
    , upstream(w.ctx)
{
    lastActive = w.gen;
    setDeadline(w.engine.timeouts().handshake);
    w.link(this);
    w.engine.m_count.fetch_add(1, std::memory_order_relaxed);
}

Session::~Session()
{
    if (countBytes && uncounted) {
        try {
            countBytes(uncounted);
        } catch (...) {
        }
    }
    worker.unlink(this);
    worker.engine.m_count.fetch_sub(1, std::memory_order_relaxed);
}

void Session::close()
{
    closed = true;
    std::error_code ec;
    client.close(ec);
    upstream.close(ec);
}

void Session::setDeadline(std::chrono::milliseconds limit)
{
    deadline = worker.gen + worker.engine.generationsFor(limit);
}

void Session::addCounted(std::uint64_t n)
{
    uncounted += n;
    if (uncounted >= kCountBatch && countBytes) {
        const auto batch = uncounted;
        uncounted = 0;
        try {
            countBytes(batch);
        } catch (...) {
        }
    }
}

// ---- Worker

Worker::Worker(Engine& e)
    : engine(e)
    , buffer(new std::uint8_t[kBufferSize])
{
}

Worker::~Worker()
{
    // Members go in reverse order: the context before byPort, so the coroutines it destroys can
    // still unlink their sessions.
    for (void* b : spare)
        unmapBlock(b);
    for (Pipe p : pipes)
        closePipe(p);
}

void Worker::choosePath(bool portable)
{
    static const bool noSplice = envFlag("ZQ_SOCKS_NO_SPLICE");
    Pipe p;
    splicing = !portable && !noSplice && takePipe(p);
    if (splicing)
        givePipe(p);
    for (; !splicing && !pipes.empty(); pipes.pop_back())
        closePipe(pipes.back());
}

void Worker::link(Session* s)
{
    Session*& head = byPort[s->port];
    s->next = head;
    if (head)
        head->prev = s;
    head = s;
}

void Worker::unlink(Session* s)
{
    if (s->prev)
        s->prev->next = s->next;
    else {
        auto it = byPort.find(s->port);
        if (it != byPort.end() && it->second == s) {
            if (s->next)
                it->second = s->next;
            else
                byPort.erase(it);
        }
    }
    if (s->next)
        s->next->prev = s->prev;
    s->prev = s->next = nullptr;
}

#ifdef ZQ_SOCKS_SPLICE
bool Worker::takePipe(Pipe& out)
{
    if (!pipes.empty()) {
        out = pipes.back();
        pipes.pop_back();
        return true;
    }
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    ::fcntl(fds[1], F_SETPIPE_SZ, int(kPipeSize));
    out = { fds[0], fds[1] };
    return true;
}

void Worker::givePipe(Pipe p)
{
    if (pipes.size() < kSpareBlocks)
        pipes.push_back(p);
    else
        closePipe(p);
}

void Worker::closePipe(Pipe p)
{
    ::close(p.read);
    ::close(p.write);
}
#else
bool Worker::takePipe(Pipe&)
{
    return false;
}
void Worker::givePipe(Pipe) { }
void Worker::closePipe(Pipe) { }
#endif

void* Worker::takeBlock()
{
    if (!spare.empty()) {
        void* b = spare.back();
        spare.pop_back();
        return b;
    }
    return mapBlock();
}

void Worker::giveBlock(void* block)
{
    if (spare.size() < kSpareBlocks)
        spare.push_back(block);
    else
        unmapBlock(block);
}

// ---- Engine

struct Engine::Listener {
    Listener(Worker& w)
        : worker(w)
        , acceptor(w.ctx)
        , pause(w.ctx)
    {
    }
    Worker& worker;
    Acceptor acceptor;
    Timer pause;
    std::uint16_t port = 0;
};

Engine::Engine(unsigned threads, Serve serve)
    : m_serve(std::move(serve))
{
    raiseDescriptorLimit();
    sys::initSockets();
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < threads; ++i) {
        m_workers.push_back(std::make_unique<Worker>(*this));
        m_workers.back()->index = i;
    }
    setPortable(portableByDefault());
}

void Engine::setPortable(bool on)
{
#ifndef ZQ_SOCKS_SPLICE
    on = true;
#endif
    m_portable = on;
    for (auto& w : m_workers)
        w->choosePath(on);
}

Engine::~Engine()
{
    stop();
    // Let every aborted operation finish while all contexts still exist: an accept pending on
    // one context completes with a socket of another.
    for (std::size_t ran = 1; ran;) {
        ran = 0;
        for (auto& w : m_workers) {
            w->sweepTimer.cancel();
            w->ctx.restart();
            ran += w->ctx.poll();
        }
    }
    m_workers.clear();
}

std::uint32_t Engine::generationsFor(std::chrono::milliseconds limit) const
{
    const auto n = (limit.count() + m_sweepInterval.count() - 1) / m_sweepInterval.count();
    return static_cast<std::uint32_t>(std::max<long long>(1, n)) + 1;
}

void Engine::runOn(Worker& w, const std::function<void()>& fn)
{
    if (!m_running || std::this_thread::get_id() == w.thread.get_id()) {
        fn();
        return;
    }
    std::promise<void> done;
    auto fut = done.get_future();
    asio::post(w.ctx, [&] {
        fn();
        done.set_value();
    });
    fut.wait();
}

void Engine::runOnEach(const std::function<void(Worker&)>& fn)
{
    for (auto& w : m_workers)
        runOn(*w, [&] { fn(*w); });
}

std::uint16_t Engine::listen(const std::string& host, std::uint16_t port, std::error_code& ec)
{
    const auto addr = asio::ip::make_address(host, ec);
    if (ec)
        return 0;
    Worker& w = *m_workers[(port ? port : m_next++) % m_workers.size()];
    auto l = std::make_shared<Listener>(w);
    const tcp::endpoint ep(addr, port);
    l->acceptor.open(ep.protocol(), ec);
#ifdef _WIN32
    // There SO_REUSEADDR would let us take a port another program listens on: ask for it alone.
    if (!ec) {
        const BOOL on = TRUE;
        ::setsockopt(l->acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
            sizeof on);
    }
#else
    if (!ec)
        l->acceptor.set_option(Acceptor::reuse_address(true), ec);
#endif
    if (!ec)
        l->acceptor.bind(ep, ec);
    if (!ec)
        l->acceptor.listen(4096, ec);
    if (!ec)
        l->port = l->acceptor.local_endpoint(ec).port();
    if (ec)
        return 0;
    {
        std::lock_guard lock(m_mutex);
        m_listeners.push_back(l);
    }
    asio::co_spawn(w.ctx, acceptLoop(l), asio::detached);
    return l->port;
}

void Engine::closeListeners()
{
    std::vector<std::shared_ptr<Listener>> listeners;
    {
        std::lock_guard lock(m_mutex);
        listeners.swap(m_listeners);
    }
    for (auto& l : listeners) {
        runOn(l->worker, [&] {
            std::error_code ec;
            l->acceptor.close(ec);
            l->pause.cancel();
        });
    }
}

void Engine::closeConnections(const std::vector<std::uint16_t>* ports)
{
    for (auto& w : m_workers) {
        runOn(*w, [&] {
            for (auto& [port, head] : w->byPort) {
                if (ports && std::find(ports->begin(), ports->end(), port) == ports->end())
                    continue;
                for (Session* s = head; s; s = s->next)
                    s->close();
            }
        });
    }
}

void Engine::start()
{
    std::lock_guard lock(m_mutex);
    if (m_running)
        return;
    // The sweep runs often enough to honour the shortest limit within about a quarter of it.
    const auto shortest = std::min({ m_timeouts.handshake, m_timeouts.connect, m_timeouts.idle, m_timeouts.linger });
    m_sweepInterval = std::clamp(shortest / 4, std::chrono::milliseconds(10), std::chrono::milliseconds(1000));
    m_running = true;
    for (auto& w : m_workers) {
        w->guard = std::make_unique<asio::executor_work_guard<asio::io_context::executor_type>>(w->ctx.get_executor());
        asio::co_spawn(w->ctx, sweepLoop(*w), asio::detached);
        w->thread = std::thread([ctx = &w->ctx] {
            // Writes to a peer that has gone must fail with EPIPE, not kill the process.
            sys::ignoreBrokenPipeInThisThread();
            for (;;) {
                try {
                    ctx->run();
                    return;
                } catch (...) {
                }
            }
        });
    }
}

void Engine::stop()
{
    closeListeners();
    closeConnections(nullptr);
    // Let the closed connections unwind on their threads, so their last byte counts are
    // reported before stop() returns.
    for (int i = 0; i < 2000 && m_running && connectionCount() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::lock_guard lock(m_mutex);
    if (!m_running)
        return;
    for (auto& w : m_workers) {
        w->guard.reset();
        w->ctx.stop();
    }
    for (auto& w : m_workers)
        if (w->thread.joinable())
            w->thread.join();
    m_running = false;
}

void Engine::startSession(Worker& w, std::uint16_t port, Socket sock)
{
    tune(sock);
    auto s = std::make_shared<Session>(w, port, std::move(sock));
    asio::co_spawn(w.ctx, m_serve(std::move(s)), asio::detached);
}

void Engine::shed()
{
    for (auto& w : m_workers)
        if (!w->shedQueued.exchange(true))
            asio::post(w->ctx, [&w = *w] { shedOn(w); });
}

void Engine::shedOn(Worker& w)
{
    w.shedQueued = false;
    std::vector<Session*> lingering;
    for (auto& [port, head] : w.byPort) {
        for (Session* s = head; s; s = s->next) {
            if (s->closed || (s->relaying && !s->halfClosed))
                continue;
            if (clientGone(*s))
                s->close();
            else if (s->halfClosed)
                lingering.push_back(s);
        }
    }
    // Oldest first: the longer a half-closed relay has been silent, the less it is likely to say.
    const std::size_t n = std::min(lingering.size(), std::max(kShedAtLeast, lingering.size() / 4));
    std::nth_element(lingering.begin(), lingering.begin() + n, lingering.end(),
        [gen = w.gen](const Session* a, const Session* b) { return gen - a->lastActive > gen - b->lastActive; });
    for (std::size_t i = 0; i < n; ++i)
        lingering[i]->close();
}

Task<bool> Engine::makeRoom(Listener& l)
{
    shed();
    l.pause.expires_after(kAcceptPause);
    co_await l.pause.async_wait(nothrow);
    co_return l.acceptor.is_open();
}

Task<void> Engine::acceptLoop(std::shared_ptr<Listener> l)
{
    for (;;) {
        if (m_maxSessions && connectionCount() >= m_maxSessions) {
            // Full: once a client waits, make room for it; it waits in the listen queue meanwhile.
            auto [ec] = co_await l->acceptor.async_wait(Acceptor::wait_read, nothrow);
            if (!l->acceptor.is_open() || ec == asio::error::operation_aborted)
                co_return;
            if (connectionCount() >= m_maxSessions && !co_await makeRoom(*l))
                co_return;
            continue;
        }
        Worker& target = *m_workers[m_next.fetch_add(1, std::memory_order_relaxed) % m_workers.size()];
        auto [ec, sock] = co_await l->acceptor.async_accept(target.ctx, nothrow);
        if (!l->acceptor.is_open() || ec == asio::error::operation_aborted)
            co_return;
        if (ec) {
            // Out of descriptors or memory: make room and back off instead of spinning on a full
            // backlog.
            if (outOfResources(ec) && !co_await makeRoom(*l))
                co_return;
            continue;
        }
        if (&target == &l->worker)
            startSession(target, l->port, std::move(sock));
        else
            asio::post(target.ctx, [this, &target, port = l->port, s = std::move(sock)]() mutable {
                startSession(target, port, std::move(s));
            });
    }
}

Task<void> Engine::sweepLoop(Worker& w)
{
    const std::uint32_t idle = generationsFor(m_timeouts.idle);
    const std::uint32_t linger = std::min(idle, generationsFor(m_timeouts.linger));
    for (;;) {
        w.sweepTimer.expires_after(m_sweepInterval);
        auto [ec] = co_await w.sweepTimer.async_wait(nothrow);
        if (ec)
            co_return;
        ++w.gen;
        for (auto& [port, head] : w.byPort) {
            for (Session* s = head; s; s = s->next) {
                if (s->closed)
                    continue;
                if (s->relaying ? w.gen - s->lastActive < (s->halfClosed ? linger : idle)
                                : !s->deadline || w.gen < s->deadline)
                    continue;
                if (s->connecting) {
                    std::error_code ec;
                    s->upstream.close(ec);
                    s->connecting = false;
                    s->timedOut = true;
                    s->deadline = w.gen + 2; // time to send the reply
                } else {
                    s->close();
                }
            }
        }
    }
}

// ---- Relay loop

Task<bool> writeAll(Socket& sock, std::string bytes)
{
    if (bytes.empty())
        co_return true;
    auto [ec, n] = co_await asio::async_write(sock, asio::buffer(bytes), nothrow);
    co_return !ec;
}

void tune(Socket& sock)
{
    std::error_code ec;
    sock.set_option(tcp::no_delay(true), ec);
    sock.non_blocking(true, ec);
}

namespace {
// What one readable event moved: `read` bytes taken from the source, of which `pending` still
// wait in `block` for a receiver that could not take them yet.
struct Step {
    std::size_t read = 0;
    std::size_t pending = 0;
    void* block = nullptr;
    bool eof = false;
    bool again = false;
    std::error_code ec;
};

Step copyStep(Worker& w, Socket& from, Socket& to);

#ifdef ZQ_SOCKS_SPLICE
std::error_code lastError()
{
    return std::error_code(errno, asio::error::get_system_category());
}

// Through a pipe: the kernel hands pages from socket to socket without copying them. When the
// receiver cannot take everything, the direction keeps the pipe (`pipe`) with `pending` bytes.
Step spliceStep(Worker& w, Socket& from, Socket& to, Worker::Pipe& pipe)
{
    Step st;
    if (!w.takePipe(pipe))
        return copyStep(w, from, to); // out of descriptors: copy instead
    const ssize_t n
        = ::splice(from.native_handle(), nullptr, pipe.write, nullptr, kPipeSize, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (n <= 0) {
        if (n == 0)
            st.eof = true;
        else if (errno == EAGAIN)
            st.again = true;
        else
            st.ec = lastError();
        w.givePipe(pipe);
        return st;
    }
    st.read = std::size_t(n);
    std::size_t off = 0;
    while (off < st.read) {
        const ssize_t m = ::splice(
            pipe.read, nullptr, to.native_handle(), nullptr, st.read - off, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (m < 0) {
            if (errno != EAGAIN)
                st.ec = lastError();
            break;
        }
        off += std::size_t(m);
    }
    if (st.ec) {
        Worker::closePipe(pipe); // discards what it holds
        return st;
    }
    st.pending = st.read - off;
    if (!st.pending)
        w.givePipe(pipe);
    return st;
}
#endif

// Through the thread's buffer: read, then write at once; only the rest is copied aside.
Step copyStep(Worker& w, Socket& from, Socket& to)
{
    Step st;
    std::uint8_t* const buf = w.buffer.get();
    st.read = from.read_some(asio::buffer(buf, kBufferSize), st.ec);
    if (wouldBlock(st.ec)) {
        st.ec.clear();
        st.again = true;
        return st;
    }
    if (st.ec == asio::error::eof) {
        st.ec.clear();
        st.eof = true;
        return st;
    }
    if (st.ec)
        return st;
    std::size_t off = 0;
    std::error_code ec;
    while (off < st.read) {
        const std::size_t m = to.write_some(asio::buffer(buf + off, st.read - off), ec);
        if (ec)
            break;
        off += m;
    }
    if (ec && !wouldBlock(ec)) {
        st.ec = ec;
        return st;
    }
    if (off < st.read) {
        st.pending = st.read - off;
        st.block = w.takeBlock();
        if (st.block)
            std::memcpy(st.block, buf + off, st.pending);
        else
            st.ec = asio::error::no_memory;
    }
    return st;
}

// One direction: wait until readable, move what arrived at once. EOF is passed on as a half-close.
Task<void> pump(std::shared_ptr<Session> s, bool outbound)
{
    Socket& from = outbound ? s->client : s->upstream;
    Socket& to = outbound ? s->upstream : s->client;
    Worker& w = s->worker;
    int burst = 0;
    for (;;) {
        if (burst == 0) {
            auto [ec] = co_await from.async_wait(Socket::wait_read, nothrow);
            if (ec || s->closed)
                co_return;
        }
#ifdef ZQ_SOCKS_SPLICE
        Worker::Pipe pipe;
        Step st = w.splicing ? spliceStep(w, from, to, pipe) : copyStep(w, from, to);
#else
        Step st = copyStep(w, from, to);
#endif
        if (st.again) {
            burst = 0;
            continue;
        }
        if (st.eof) {
            std::error_code ec;
            to.shutdown(Socket::shutdown_send, ec);
            s->halfClosed = true;
            s->lastActive = w.gen;
            co_return;
        }
        if (st.read) {
            s->lastActive = w.gen;
            if (s->countBytes)
                s->addCounted(st.read);
        }
        if (st.ec) {
            if (st.block)
                w.giveBlock(st.block);
            s->close();
            co_return;
        }
#ifdef ZQ_SOCKS_SPLICE
        if (st.pending && !st.block) {
            // The pipe holds the rest until the receiver can take it.
            while (st.pending) {
                auto [wec] = co_await to.async_wait(Socket::wait_write, nothrow);
                if (wec || s->closed) {
                    Worker::closePipe(pipe);
                    s->close();
                    co_return;
                }
                const ssize_t m = ::splice(
                    pipe.read, nullptr, to.native_handle(), nullptr, st.pending, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
                if (m < 0 && errno != EAGAIN) {
                    Worker::closePipe(pipe);
                    s->close();
                    co_return;
                }
                if (m > 0)
                    st.pending -= std::size_t(m);
            }
            w.givePipe(pipe);
            burst = 0;
            continue;
        }
#endif
        if (st.pending) {
            auto [wec, written] = co_await asio::async_write(to, asio::buffer(st.block, st.pending), nothrow);
            w.giveBlock(st.block);
            if (wec) {
                s->close();
                co_return;
            }
            burst = 0;
            continue;
        }
        burst = (st.read >= kBufferSize && burst + 1 < kReadBurst) ? burst + 1 : 0;
    }
}
} // namespace

void startRelaying(std::shared_ptr<Session> s)
{
    s->relaying = true;
    s->deadline = 0;
    s->lastActive = s->worker.gen;
    auto& ctx = s->worker.ctx;
    asio::co_spawn(ctx, pump(s, true), asio::detached);
    asio::co_spawn(ctx, pump(std::move(s), false), asio::detached);
}

} // namespace zq::socks::detail
