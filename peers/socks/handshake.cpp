#include "handshake.h"

#include <asio/error.hpp>
#include <cerrno>
#include <cstring>

namespace zq::socks {

namespace {
constexpr std::uint8_t kVersion = 0x05;
constexpr std::uint8_t kAuthVersion = 0x01;

// Parses ATYP..PORT at data[0]; `used` counts its bytes.
Parse parseAddress(const std::uint8_t* data, std::size_t len, std::size_t& used, Address& out, Reply& error)
{
    if (len < 1)
        return Parse::NeedMore;
    std::size_t addrLen = 0;
    std::size_t head = 1;
    switch (data[0]) {
    case static_cast<std::uint8_t>(AddressType::IPv4):
        addrLen = 4;
        break;
    case static_cast<std::uint8_t>(AddressType::IPv6):
        addrLen = 16;
        break;
    case static_cast<std::uint8_t>(AddressType::Domain):
        if (len < 2)
            return Parse::NeedMore;
        addrLen = data[1];
        head = 2;
        if (addrLen == 0) {
            error = Reply::GeneralFailure;
            return Parse::Bad;
        }
        break;
    default:
        error = Reply::AddressTypeNotSupported;
        return Parse::Bad;
    }
    const std::size_t total = head + addrLen + 2;
    if (len < total)
        return Parse::NeedMore;
    out.type = static_cast<AddressType>(data[0]);
    if (out.type == AddressType::Domain) {
        out.host.assign(reinterpret_cast<const char*>(data + 2), addrLen);
        if (out.host.find('\0') != std::string::npos) {
            error = Reply::GeneralFailure;
            return Parse::Bad;
        }
    } else {
        out.host.clear();
        std::memcpy(out.ip.data(), data + 1, addrLen);
    }
    out.port = static_cast<std::uint16_t>(data[head + addrLen] << 8 | data[head + addrLen + 1]);
    out.wire.assign(reinterpret_cast<const char*>(data), total);
    used = total;
    return Parse::Good;
}
} // namespace

Parse parseGreeting(const std::uint8_t* data, std::size_t len, std::size_t& used, Greeting& out)
{
    if (len < 1)
        return Parse::NeedMore;
    if (data[0] != kVersion)
        return Parse::Bad;
    if (len < 2)
        return Parse::NeedMore;
    const std::size_t count = data[1];
    if (count == 0)
        return Parse::Bad;
    if (len < 2 + count)
        return Parse::NeedMore;
    out = Greeting {};
    for (std::size_t i = 0; i < count; ++i) {
        if (data[2 + i] == method::kNoAuth)
            out.noAuth = true;
        else if (data[2 + i] == method::kUserPass)
            out.userPass = true;
    }
    used = 2 + count;
    return Parse::Good;
}

Parse parseAuth(const std::uint8_t* data, std::size_t len, std::size_t& used, std::string& user, std::string& password)
{
    if (len < 1)
        return Parse::NeedMore;
    if (data[0] != kAuthVersion)
        return Parse::Bad;
    if (len < 2)
        return Parse::NeedMore;
    const std::size_t ulen = data[1];
    if (len < 3 + ulen)
        return Parse::NeedMore;
    const std::size_t plen = data[2 + ulen];
    if (len < 3 + ulen + plen)
        return Parse::NeedMore;
    user.assign(reinterpret_cast<const char*>(data + 2), ulen);
    password.assign(reinterpret_cast<const char*>(data + 3 + ulen), plen);
    used = 3 + ulen + plen;
    return Parse::Good;
}

Parse parseRequest(const std::uint8_t* data, std::size_t len, std::size_t& used, Request& out, Reply& error)
{
    error = Reply::Succeeded;
    if (len < 1)
        return Parse::NeedMore;
    if (data[0] != kVersion)
        return Parse::Bad;
    if (len < 3)
        return Parse::NeedMore;
    std::size_t addrUsed = 0;
    const Parse r = parseAddress(data + 3, len - 3, addrUsed, out.target, error);
    if (r != Parse::Good)
        return r;
    out.command = data[1];
    used = 3 + addrUsed;
    return Parse::Good;
}

std::string makeGreeting(bool userPass)
{
    return std::string { char(kVersion), char(1), char(userPass ? method::kUserPass : method::kNoAuth) };
}

Parse parseMethodReply(const std::uint8_t* data, std::size_t len, std::size_t& used, std::uint8_t& methodOut)
{
    if (len < 1)
        return Parse::NeedMore;
    if (data[0] != kVersion)
        return Parse::Bad;
    if (len < 2)
        return Parse::NeedMore;
    methodOut = data[1];
    used = 2;
    return Parse::Good;
}

std::string makeAuth(const std::string& user, const std::string& password)
{
    if (user.size() > 255 || password.size() > 255)
        return {};
    std::string out;
    out.reserve(3 + user.size() + password.size());
    out.push_back(char(kAuthVersion));
    out.push_back(char(user.size()));
    out += user;
    out.push_back(char(password.size()));
    out += password;
    return out;
}

Parse parseAuthReply(const std::uint8_t* data, std::size_t len, std::size_t& used, std::uint8_t& status)
{
    if (len < 1)
        return Parse::NeedMore;
    // Some servers answer with the SOCKS version instead of the sub-negotiation version.
    if (data[0] != kAuthVersion && data[0] != kVersion)
        return Parse::Bad;
    if (len < 2)
        return Parse::NeedMore;
    status = data[1];
    used = 2;
    return Parse::Good;
}

std::string makeRequest(const Request& request)
{
    std::string out { char(kVersion), char(request.command), char(0) };
    out += request.target.wire;
    return out;
}

Parse parseReply(const std::uint8_t* data, std::size_t len, std::size_t& used, std::uint8_t& reply)
{
    if (len < 1)
        return Parse::NeedMore;
    if (data[0] != kVersion)
        return Parse::Bad;
    if (len < 3)
        return Parse::NeedMore;
    Address bound;
    Reply error;
    std::size_t addrUsed = 0;
    const Parse r = parseAddress(data + 3, len - 3, addrUsed, bound, error);
    if (r != Parse::Good)
        return r;
    reply = data[1];
    used = 3 + addrUsed;
    return Parse::Good;
}

std::string makeMethodChoice(std::uint8_t m)
{
    return std::string { char(kVersion), char(m) };
}

std::string makeAuthStatus(bool ok)
{
    return std::string { char(kAuthVersion), char(ok ? 0x00 : 0x01) };
}

std::string makeReply(Reply reply, const std::uint8_t* ip, std::size_t ipLen, std::uint16_t port)
{
    std::string out { char(kVersion), char(reply), char(0) };
    if (ip && ipLen == 16) {
        out.push_back(char(AddressType::IPv6));
        out.append(reinterpret_cast<const char*>(ip), 16);
    } else {
        out.push_back(char(AddressType::IPv4));
        if (ip && ipLen == 4)
            out.append(reinterpret_cast<const char*>(ip), 4);
        else
            out.append(4, char(0));
    }
    out.push_back(char(port >> 8));
    out.push_back(char(port & 0xff));
    return out;
}

Reply replyFor(const std::error_code& ec)
{
    if (!ec)
        return Reply::Succeeded;
    if (ec == asio::error::connection_refused)
        return Reply::ConnectionRefused;
    if (ec == asio::error::network_unreachable || ec == asio::error::network_down)
        return Reply::NetworkUnreachable;
    if (ec == asio::error::host_unreachable || ec == asio::error::host_not_found
        || ec == asio::error::host_not_found_try_again || ec == asio::error::no_data)
        return Reply::HostUnreachable;
    if (ec == asio::error::timed_out || ec == asio::error::operation_aborted)
        return Reply::TtlExpired;
    if (ec == asio::error::address_family_not_supported)
        return Reply::AddressTypeNotSupported;
    return Reply::GeneralFailure;
}

} // namespace zq::socks
