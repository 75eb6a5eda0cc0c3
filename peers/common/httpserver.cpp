#include "httpserver.h"

#include <utility> // before Boost.Asio 1.74's awaitable.hpp, which uses std::exchange without it

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/redirect_error.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <nlohmann/json.hpp>

#ifdef _WIN32
#include <mstcpip.h>
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

#include <atomic>
#include <cctype>
#include <map>
#include <regex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zq::peers {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using boost::system::error_code;

namespace {

constexpr std::size_t kDrainBytes = 8 << 20; // read and dropped after a refusal, so the peer sees it
constexpr auto kDrainTime = std::chrono::milliseconds(500);
constexpr unsigned kRequestsPerConnection = 100;

const char* reason(int status)
{
    const auto text = http::obsolete_reason(static_cast<http::status>(status));
    return text.empty() ? "Refused" : text.data();
}

Refusal envelopeRefusal(int status, const std::string& msg)
{
    return Refusal { status, nlohmann::json { { "code", status }, { "msg", msg } }.dump() };
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// %XX decoding; '+' is a space only in query and form text.
std::string percentDecode(std::string_view s, bool plusIsSpace)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+' && plusIsSpace) {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

void parseQuery(std::string_view text, httplib::Params& into)
{
    while (!text.empty()) {
        const auto amp = text.find('&');
        const auto item = text.substr(0, amp);
        if (!item.empty()) {
            const auto eq = item.find('=');
            into.emplace(percentDecode(item.substr(0, eq), true),
                eq == std::string_view::npos ? std::string() : percentDecode(item.substr(eq + 1), true));
        }
        if (amp == std::string_view::npos)
            break;
        text.remove_prefix(amp + 1);
    }
}

std::string addressText(const tcp::endpoint& ep)
{
    auto a = ep.address();
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        a = net::ip::make_address_v4(net::ip::v4_mapped, a.to_v6());
    return a.to_string();
}

bool isLoopback(const tcp::endpoint& ep)
{
    const auto a = ep.address();
    if (a.is_v4())
        return a.to_v4().is_loopback();
    const auto v6 = a.to_v6();
    return v6.is_loopback() || (v6.is_v4_mapped() && net::ip::make_address_v4(net::ip::v4_mapped, v6).is_loopback());
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// A client that writes its head and body apart waits (Nagle) for the head's ACK, which a kept-alive
// connection delays some 40 ms; send it now.
void ackNow(tcp::socket& socket)
{
#ifdef TCP_QUICKACK
    const int one = 1;
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#elif defined(SIO_TCP_SET_ACK_FREQUENCY)
    // No one-off quick ACK there (and the delay is 200 ms): every segment of this connection is
    // acknowledged at once from now on.
    DWORD every = 1, returned = 0;
    ::WSAIoctl(socket.native_handle(), SIO_TCP_SET_ACK_FREQUENCY, &every, sizeof every, nullptr, 0, &returned, nullptr,
        nullptr);
#else
    (void)socket;
#endif
}

struct Route {
    std::string method;
    std::string path; // exact, or empty when the pattern is a regular expression
    std::optional<std::regex> pattern;
    HttpServer::Handler handler;
};

} // namespace

struct HttpServer::Impl {
    explicit Impl(HttpLimits l)
        : limits(std::move(l))
        , workers(std::max(1u, limits.workers))
    {
    }

    // Declared so that the loop, and the sessions it still holds, go before what they use.
    std::unique_ptr<net::ssl::context> tlsContext;
    // Open connections, counted on the loop's thread only.
    std::map<net::ip::address, unsigned> perPeer;
    unsigned loopbackCount = 0;
    HttpLimits limits;
    net::io_context io { 1 };
    tcp::acceptor acceptor { io };
    net::thread_pool workers;
    std::vector<Route> routes;
    Handler errorHandler;
    ExceptionHandler exceptionHandler;
    std::atomic<bool> stopped { false };

    Refusal answer(const RequestHead& head, int status, const std::string& msg) const
    {
        return limits.answer ? limits.answer(head, status, msg) : envelopeRefusal(status, msg);
    }

    class PeerSlot;
    net::awaitable<void> acceptLoop();
    template <class Stream> net::awaitable<void> session(Stream stream, tcp::endpoint peer);
    template <class Stream> net::awaitable<void> refuse(Stream& stream, Refusal refusal, bool drain);
    void dispatch(httplib::Request& req, httplib::Response& res) const;

    using Exchange = std::pair<httplib::Request, httplib::Response>;
    // Runs the exchange's handler on a worker; completes on the loop. Only trivial values pass
    // here: temporaries with destructors inside a co_await are mishandled by GCC 12.
    auto onWorker(Exchange* exchange)
    {
        return net::async_initiate<decltype(net::use_awaitable), void()>(
            [this, exchange](auto done) {
                net::post(workers, [this, exchange, done = std::move(done)]() mutable {
                    dispatch(exchange->first, exchange->second);
                    auto ex = net::get_associated_executor(done);
                    net::post(ex, std::move(done));
                });
            },
            net::use_awaitable);
    }
};

// Holds one of a peer's connection slots for as long as its session lives.
class HttpServer::Impl::PeerSlot {
public:
    PeerSlot(Impl& d, const tcp::endpoint& peer)
        : m_d(d)
        , m_loopback(isLoopback(peer))
        , m_address(peer.address())
    {
        unsigned& count = m_loopback ? d.loopbackCount : d.perPeer[m_address];
        m_granted = count < (m_loopback ? d.limits.perLoopback : d.limits.perPeer);
        if (m_granted)
            ++count;
        else if (!m_loopback && count == 0)
            d.perPeer.erase(m_address);
    }
    ~PeerSlot()
    {
        if (!m_granted)
            return;
        if (m_loopback) {
            --m_d.loopbackCount;
        } else if (auto it = m_d.perPeer.find(m_address); it != m_d.perPeer.end() && --it->second == 0) {
            m_d.perPeer.erase(it);
        }
    }
    PeerSlot(const PeerSlot&) = delete;
    PeerSlot& operator=(const PeerSlot&) = delete;
    bool granted() const { return m_granted; }

private:
    Impl& m_d;
    bool m_loopback;
    net::ip::address m_address;
    bool m_granted = false;
};

net::awaitable<void> HttpServer::Impl::acceptLoop()
{
    net::steady_timer pause(io);
    while (!stopped) {
        error_code ec;
        tcp::socket socket = co_await acceptor.async_accept(net::redirect_error(net::use_awaitable, ec));
        if (ec == net::error::operation_aborted || !acceptor.is_open())
            co_return;
        if (ec) {
            // Out of descriptors or similar: give the live connections a moment to end.
            pause.expires_after(std::chrono::milliseconds(50));
            co_await pause.async_wait(net::redirect_error(net::use_awaitable, ec));
            continue;
        }
        const auto peer = socket.remote_endpoint(ec);
        if (ec)
            continue;
        socket.set_option(tcp::no_delay(true), ec);
        if (tlsContext) {
            net::co_spawn(
                io, session(beast::ssl_stream<beast::tcp_stream>(std::move(socket), *tlsContext), peer), net::detached);
        } else {
            net::co_spawn(io, session(beast::tcp_stream(std::move(socket)), peer), net::detached);
        }
    }
}

template <class Stream> net::awaitable<void> HttpServer::Impl::refuse(Stream& stream, Refusal r, bool drain)
{
    http::response<http::string_body> out;
    out.result(static_cast<unsigned>(r.status));
    out.reason(reason(r.status));
    out.set(http::field::content_type, r.contentType);
    out.body() = std::move(r.body);
    out.keep_alive(false);
    out.prepare_payload();
    auto& lowest = beast::get_lowest_layer(stream);
    lowest.expires_after(limits.writeTimeout);
    error_code ec;
    co_await http::async_write(stream, out, net::redirect_error(net::use_awaitable, ec));
    if (ec || !drain)
        co_return;
    // A peer still sending its body would get a reset, and lose the reply, if we closed now.
    lowest.socket().shutdown(tcp::socket::shutdown_send, ec);
    lowest.expires_after(kDrainTime);
    std::vector<char> scrap(64 * 1024);
    for (std::size_t total = 0; total < kDrainBytes;) {
        const std::size_t n
            = co_await lowest.async_read_some(net::buffer(scrap), net::redirect_error(net::use_awaitable, ec));
        if (ec)
            break;
        total += n;
    }
}

template <class Stream> net::awaitable<void> HttpServer::Impl::session(Stream stream, tcp::endpoint peer)
{
    auto& lowest = beast::get_lowest_layer(stream);
    const std::string peerText = addressText(peer);
    PeerSlot slot(*this, peer);
    error_code ec;
    if constexpr (!std::is_same_v<Stream, beast::tcp_stream>) {
        lowest.expires_after(limits.deadline);
        co_await stream.async_handshake(net::ssl::stream_base::server, net::redirect_error(net::use_awaitable, ec));
        if (ec)
            co_return;
    }
    // Set when the server refuses the request itself; sent after the loop.
    std::optional<Refusal> refusal;
    bool drain = true; // whether the peer may still be sending
    if (!slot.granted()) {
        refusal = answer(RequestHead { peerText, {}, {}, {} }, 503, "too many connections from " + peerText);
        drain = false;
    }

    const std::string tooLarge = "request body too large (limit " + std::to_string(limits.maxBody) + " bytes)";
    // Room for a whole head and a little more; a body passes through it piece by piece. A peer
    // that sends nothing costs this buffer and its parser, not a thread.
    beast::flat_buffer buffer(limits.maxHead + 4096);
    for (unsigned served = 0; !refusal && served < kRequestsPerConnection && !stopped; ++served) {
        // A body grows with what arrives: a string body would reserve the declared length at once.
        http::request_parser<http::dynamic_body> parser;
        parser.header_limit(static_cast<std::uint32_t>(limits.maxHead));
        parser.body_limit(limits.maxBody);
        // The first request gets the whole deadline; a kept-alive connection waits a shorter while.
        lowest.expires_after(served == 0 ? limits.deadline : limits.keepAlive);
        co_await http::async_read_header(stream, buffer, parser, net::redirect_error(net::use_awaitable, ec));
        RequestHead head { peerText, {}, {}, {} };
        // The request line is known even when a later field broke a limit.
        if (const auto& m = parser.get(); !m.target().empty()) {
            head.method = std::string(m.method_string());
            const std::string_view target(m.target().data(), m.target().size());
            const auto q = target.find('?');
            head.path = percentDecode(target.substr(0, q), false);
            if (q != std::string_view::npos)
                parseQuery(target.substr(q + 1), head.query);
        }
        if (ec) {
            if (ec == http::error::header_limit || ec == http::error::buffer_overflow)
                refusal = answer(head, 431, "request headers too large");
            else if (ec == http::error::body_limit) // a declared length past the limit
                refusal = answer(head, 413, tooLarge);
            else if (ec == beast::error::timeout && parser.got_some())
                refusal = answer(head, 408, "request not complete in time"), drain = false;
            else if (ec != beast::error::timeout && ec != http::error::end_of_stream && parser.got_some())
                refusal = answer(head, 400, "bad request: " + ec.message());
            break;
        }
        if (served > 0)
            lowest.expires_after(limits.deadline); // the body of a kept-alive request
        // A declared length past the limit has already failed the read above.
        auto& m = parser.get();
        if (static_cast<std::size_t>(std::distance(m.begin(), m.end())) > limits.maxHeaders)
            refusal = answer(head, 431, "too many header fields");
        else if (limits.screen)
            refusal = limits.screen(head);
        if (refusal)
            break;
        if (beast::iequals(m[http::field::expect], "100-continue")) {
            http::response<http::empty_body> go { http::status::continue_, 11 };
            co_await http::async_write(stream, go, net::redirect_error(net::use_awaitable, ec));
            if (ec)
                break;
        }
        if (!parser.is_done())
            ackNow(lowest.socket());
        co_await http::async_read(stream, buffer, parser, net::redirect_error(net::use_awaitable, ec));
        if (ec) {
            if (ec == http::error::body_limit)
                refusal = answer(head, 413, tooLarge);
            else if (ec == beast::error::timeout)
                refusal = answer(head, 408, "request not complete in time"), drain = false;
            else if (ec != http::error::end_of_stream && ec != net::error::eof)
                refusal = answer(head, 400, "bad request: " + ec.message());
            break;
        }

        // The whole request is here: hand it to a worker and wait without holding the loop.
        auto exchange = std::make_unique<Exchange>();
        httplib::Request& req = exchange->first;
        req.method = std::move(head.method);
        req.path = std::move(head.path);
        req.params = std::move(head.query);
        req.target = std::string(m.target());
        req.version = m.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
        req.remote_addr = peerText;
        req.remote_port = peer.port();
        for (const auto& field : m)
            req.headers.emplace(std::string(field.name_string()), std::string(field.value()));
        req.body = beast::buffers_to_string(m.body().data());
        m.body().clear();
        if (startsWithNoCase(req.get_header_value("Content-Type"), "application/x-www-form-urlencoded"))
            parseQuery(req.body, req.params);
        const bool keepAlive = m.keep_alive();

        co_await onWorker(exchange.get());

        httplib::Response& res = exchange->second;
        http::response<http::string_body> out;
        out.result(static_cast<unsigned>(res.status));
        out.reason(reason(res.status));
        for (auto it = res.headers.begin(); it != res.headers.end(); ++it)
            out.insert(it->first, it->second);
        out.body() = std::move(res.body);
        out.keep_alive(keepAlive && !stopped && served + 1 < kRequestsPerConnection);
        out.prepare_payload();
        lowest.expires_after(limits.writeTimeout);
        co_await http::async_write(stream, out, net::redirect_error(net::use_awaitable, ec));
        if (ec || !out.keep_alive())
            break;
    }
    if (refusal) {
        // Named first: a temporary inside a co_await is mishandled by GCC 12.
        auto sending = refuse(stream, std::move(*refusal), drain);
        co_await std::move(sending);
        co_return;
    }
    lowest.expires_after(std::chrono::seconds(1));
    if constexpr (!std::is_same_v<Stream, beast::tcp_stream>)
        co_await stream.async_shutdown(net::redirect_error(net::use_awaitable, ec));
    else
        lowest.socket().shutdown(tcp::socket::shutdown_send, ec);
}

void HttpServer::Impl::dispatch(httplib::Request& req, httplib::Response& res) const
{
    const Route* found = nullptr;
    for (const auto& r : routes) {
        if (r.method != req.method)
            continue;
        if (r.pattern ? std::regex_match(req.path, req.matches, *r.pattern) : r.path == req.path) {
            found = &r;
            break;
        }
    }
    if (found) {
        try {
            found->handler(req, res);
            if (res.status == -1)
                res.status = 200;
        } catch (...) {
            res.status = 500;
            res.body.clear();
            if (exceptionHandler)
                exceptionHandler(req, res, std::current_exception());
        }
    } else {
        res.status = 404;
    }
    if (res.status >= 400 && errorHandler) {
        try {
            errorHandler(req, res);
        } catch (...) {
        }
    }
}

HttpServer::HttpServer(HttpLimits limits)
    : d(std::make_unique<Impl>(std::move(limits)))
{
}

HttpServer::~HttpServer()
{
    stop();
    // Handlers still running finish first; their replies go nowhere.
    d->workers.join();
}

namespace {
Route makeRoute(const char* method, const std::string& pattern, HttpServer::Handler handler)
{
    if (pattern.find('(') == std::string::npos)
        return Route { method, pattern, std::nullopt, std::move(handler) };
    return Route { method, {}, std::regex(pattern), std::move(handler) };
}
} // namespace

void HttpServer::get(const std::string& pattern, Handler handler)
{
    d->routes.push_back(makeRoute("GET", pattern, std::move(handler)));
}

void HttpServer::post(const std::string& pattern, Handler handler)
{
    d->routes.push_back(makeRoute("POST", pattern, std::move(handler)));
}

void HttpServer::setErrorHandler(Handler handler)
{
    d->errorHandler = std::move(handler);
}

void HttpServer::setExceptionHandler(ExceptionHandler handler)
{
    d->exceptionHandler = std::move(handler);
}

bool HttpServer::useTls(const std::string& certFile, const std::string& keyFile, std::string* error)
{
    auto ctx = std::make_unique<net::ssl::context>(net::ssl::context::tls_server);
    error_code ec;
    ctx->set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 | net::ssl::context::no_sslv3
            | net::ssl::context::single_dh_use,
        ec);
    if (!ec)
        ctx->use_certificate_chain_file(certFile, ec);
    if (!ec)
        ctx->use_private_key_file(keyFile, net::ssl::context::pem, ec);
    if (!ec && SSL_CTX_check_private_key(ctx->native_handle()) != 1)
        ec = error_code(net::error::invalid_argument);
    if (ec) {
        if (error)
            *error = "cannot use the TLS certificate or key: " + ec.message();
        return false;
    }
    d->tlsContext = std::move(ctx);
    return true;
}

int HttpServer::bind(const std::string& host, int port, std::string* error)
{
    error_code ec;
    auto address = net::ip::make_address(host, ec);
    if (ec) { // a host name
        tcp::resolver resolver(d->io);
        const auto found = resolver.resolve(host, std::string(), ec);
        if (!ec && !found.empty())
            address = found.begin()->endpoint().address();
        else if (!ec)
            ec = net::error::host_not_found;
    }
    if (!ec) {
        const tcp::endpoint ep(address, static_cast<std::uint16_t>(port));
        if (d->acceptor.is_open())
            d->acceptor.close(ec);
        d->acceptor.open(ep.protocol(), ec);
#ifdef _WIN32
        // There SO_REUSEADDR would let us take a port another program listens on.
        if (!ec) {
            error_code ignored;
            d->acceptor.set_option(net::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), ignored);
        }
#else
        if (!ec)
            d->acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
        if (!ec)
            d->acceptor.bind(ep, ec);
        if (!ec)
            d->acceptor.listen(1024, ec);
    }
    if (ec) {
        if (d->acceptor.is_open()) {
            error_code ignored;
            d->acceptor.close(ignored);
        }
        if (error)
            *error = ec.message();
        return -1;
    }
    return d->acceptor.local_endpoint().port();
}

void HttpServer::run()
{
    if (d->stopped)
        return;
    auto guard = net::make_work_guard(d->io);
    net::co_spawn(d->io, d->acceptLoop(), net::detached);
    d->io.run();
    // Handlers may use what the caller tears down once this returns.
    d->workers.join();
}

void HttpServer::stop()
{
    if (d->stopped.exchange(true))
        return;
    net::post(d->io, [this] {
        error_code ec;
        d->acceptor.close(ec);
    });
    d->io.stop();
}

} // namespace zq::peers
