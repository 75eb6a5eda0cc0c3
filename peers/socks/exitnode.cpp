#include "exitnode.h"

#include "engine.h"

#ifndef _WIN32
#include <netinet/in.h>
#endif

namespace zq::socks {

using namespace detail;

namespace {
std::string replyWithBound(const tcp::endpoint& ep)
{
    const auto addr = ep.address();
    if (addr.is_v4()) {
        const auto bytes = addr.to_v4().to_bytes();
        return makeReply(Reply::Succeeded, bytes.data(), bytes.size(), ep.port());
    }
    const auto bytes = addr.to_v6().to_bytes();
    return makeReply(Reply::Succeeded, bytes.data(), bytes.size(), ep.port());
}

asio::ip::address literal(const Address& a)
{
    if (a.type == AddressType::IPv4) {
        asio::ip::address_v4::bytes_type b;
        std::copy_n(a.ip.begin(), 4, b.begin());
        return asio::ip::address_v4(b);
    }
    asio::ip::address_v6::bytes_type b;
    std::copy_n(a.ip.begin(), 16, b.begin());
    return asio::ip::address_v6(b);
}

// Opens `sock` bound to the exit address without reserving a port before connect: the port is
// picked with the destination known, so one exit address serves far more than 64k connections.
std::error_code openBound(Socket& sock, const asio::ip::address& bindAddr)
{
    std::error_code ec;
    sock.open(bindAddr.is_v4() ? tcp::v4() : tcp::v6(), ec);
    if (ec)
        return ec;
#ifdef IP_BIND_ADDRESS_NO_PORT
    int on = 1;
    ::setsockopt(sock.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
#endif
    sock.bind(tcp::endpoint(bindAddr, 0), ec);
    return ec;
}
} // namespace

struct ExitNode::Impl {
    Impl(Authorizer a, unsigned threads)
        : authorize(std::move(a))
        , engine(threads, [this](std::shared_ptr<Session> s) { return serve(std::move(s)); })
    {
    }

    Task<void> serve(std::shared_ptr<Session> s);
    Task<Reply> connectTarget(Session& s, const Address& target, const asio::ip::address& bindAddr);

    Authorizer authorize;
    Engine engine; // last: stopped before the authorizer goes
};

Task<void> ExitNode::Impl::serve(std::shared_ptr<Session> s)
{
    auto hb = std::make_unique<HandshakeBuffer>();
    Greeting greeting;
    Parse r = co_await readMessage(s->client, *hb,
        [&](const std::uint8_t* d, std::size_t n, std::size_t& used) { return parseGreeting(d, n, used, greeting); });
    if (r != Parse::Good)
        co_return;
    if (!greeting.userPass) {
        co_await writeAll(s->client, makeMethodChoice(method::kNoAcceptable));
        co_return;
    }
    if (!co_await writeAll(s->client, makeMethodChoice(method::kUserPass)))
        co_return;

    std::string user, password;
    r = co_await readMessage(s->client, *hb,
        [&](const std::uint8_t* d, std::size_t n, std::size_t& used) { return parseAuth(d, n, used, user, password); });
    if (r != Parse::Good)
        co_return;
    std::optional<ExitGrant> grant;
    try {
        grant = authorize ? authorize(user, password) : std::nullopt;
    } catch (...) {
        grant.reset();
    }
    std::error_code ec;
    const auto bindAddr = grant ? asio::ip::make_address(grant->bindIp, ec) : asio::ip::address();
    if (!grant || ec) {
        co_await writeAll(s->client, makeAuthStatus(false));
        co_return;
    }
    if (!co_await writeAll(s->client, makeAuthStatus(true)))
        co_return;

    Request req;
    Reply error = Reply::Succeeded;
    r = co_await readMessage(s->client, *hb,
        [&](const std::uint8_t* d, std::size_t n, std::size_t& used) { return parseRequest(d, n, used, req, error); });
    if (r == Parse::Bad && error != Reply::Succeeded)
        co_await writeAll(s->client, makeReply(error));
    if (r != Parse::Good)
        co_return;
    if (req.command != static_cast<std::uint8_t>(Command::Connect)) {
        co_await writeAll(s->client, makeReply(Reply::CommandNotSupported));
        co_return;
    }
    std::string early = hb->rest();
    hb.reset();

    s->setDeadline(engine.timeouts().connect);
    s->connecting = true;
    Reply rep = co_await connectTarget(*s, req.target, bindAddr);
    s->connecting = false;
    if (s->timedOut)
        rep = Reply::TtlExpired;
    if (s->closed)
        co_return;
    if (rep != Reply::Succeeded) {
        co_await writeAll(s->client, makeReply(rep));
        co_return;
    }
    const tcp::endpoint bound = s->upstream.local_endpoint(ec);
    if (ec || !co_await writeAll(s->client, replyWithBound(bound)))
        co_return;
    s->countBytes = std::move(grant->countBytes);
    if (!early.empty()) {
        s->addCounted(early.size());
        if (!co_await writeAll(s->upstream, std::move(early)))
            co_return;
    }
    if (s->closed)
        co_return;
    startRelaying(std::move(s));
}

Task<Reply> ExitNode::Impl::connectTarget(Session& s, const Address& target, const asio::ip::address& bindAddr)
{
    std::vector<tcp::endpoint> candidates;
    if (target.type == AddressType::Domain) {
        Resolver resolver(s.upstream.get_executor());
        auto [rec, results] = co_await resolver.async_resolve(target.host, std::to_string(target.port), nothrow);
        if (rec)
            co_return replyFor(rec);
        for (const auto& e : results)
            if (e.endpoint().address().is_v4() == bindAddr.is_v4())
                candidates.push_back(e.endpoint());
        if (candidates.empty())
            co_return Reply::HostUnreachable;
    } else {
        const auto addr = literal(target);
        // Leaving from another address than the line's would defeat the line.
        if (addr.is_v4() != bindAddr.is_v4())
            co_return Reply::AddressTypeNotSupported;
        candidates.emplace_back(addr, target.port);
    }

    std::error_code last = asio::error::host_unreachable;
    for (const auto& ep : candidates) {
        if (s.closed || s.timedOut)
            break;
        if (openBound(s.upstream, bindAddr)) {
            std::error_code ignored;
            s.upstream.close(ignored);
            co_return Reply::GeneralFailure;
        }
        auto [cec] = co_await s.upstream.async_connect(ep, nothrow);
        if (!cec) {
            tune(s.upstream);
            co_return Reply::Succeeded;
        }
        last = cec;
        std::error_code ignored;
        s.upstream.close(ignored);
    }
    co_return replyFor(last);
}

ExitNode::ExitNode(Authorizer authorize, unsigned threads)
    : m_impl(std::make_unique<Impl>(std::move(authorize), threads))
{
}

ExitNode::~ExitNode() = default;

std::uint16_t ExitNode::listen(const std::string& host, std::uint16_t port)
{
    std::error_code ec;
    return m_impl->engine.listen(host, port, ec);
}

void ExitNode::setTimeouts(const Timeouts& timeouts)
{
    m_impl->engine.setTimeouts(timeouts);
}

void ExitNode::setPortable(bool on)
{
    m_impl->engine.setPortable(on);
}

bool ExitNode::portable() const
{
    return m_impl->engine.portable();
}

void ExitNode::start()
{
    m_impl->engine.start();
}

void ExitNode::stop()
{
    m_impl->engine.stop();
}

std::size_t ExitNode::connectionCount() const
{
    return m_impl->engine.connectionCount();
}

} // namespace zq::socks
