#pragma once
// SOCKS5 (RFC 1928) and username/password (RFC 1929) messages. Parsers work on whatever bytes
// have arrived so far and answer Good (one whole message, `used` bytes), Bad or NeedMore, so a
// message split over many reads, or several messages in one read, parse the same.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace zq::socks {

enum class Parse { Good, Bad, NeedMore };

// Reply field of a CONNECT answer.
enum class Reply : std::uint8_t {
    Succeeded = 0x00,
    GeneralFailure = 0x01,
    NotAllowed = 0x02,
    NetworkUnreachable = 0x03,
    HostUnreachable = 0x04,
    ConnectionRefused = 0x05,
    TtlExpired = 0x06,
    CommandNotSupported = 0x07,
    AddressTypeNotSupported = 0x08,
};

namespace method {
constexpr std::uint8_t kNoAuth = 0x00;
constexpr std::uint8_t kGssapi = 0x01;
constexpr std::uint8_t kUserPass = 0x02;
constexpr std::uint8_t kNoAcceptable = 0xFF;
} // namespace method

enum class Command : std::uint8_t { Connect = 0x01, Bind = 0x02, UdpAssociate = 0x03 };
enum class AddressType : std::uint8_t { IPv4 = 0x01, Domain = 0x03, IPv6 = 0x04 };

struct Greeting {
    bool noAuth = false;
    bool userPass = false;
};

// A request target; `wire` keeps ATYP..PORT exactly as received so it is forwarded unchanged.
struct Address {
    AddressType type = AddressType::IPv4;
    std::string host; // the name for domains; empty for literal addresses
    std::array<std::uint8_t, 16> ip {};
    std::uint16_t port = 0;
    std::string wire;
};

struct Request {
    std::uint8_t command = 0;
    Address target;
};

// Server side.
Parse parseGreeting(const std::uint8_t* data, std::size_t len, std::size_t& used, Greeting& out);
Parse parseAuth(const std::uint8_t* data, std::size_t len, std::size_t& used, std::string& user, std::string& password);
// On Bad, `error` says which reply to send before closing (a wrong version gets none: Succeeded).
Parse parseRequest(const std::uint8_t* data, std::size_t len, std::size_t& used, Request& out, Reply& error);

// Client side.
std::string makeGreeting(bool userPass);
Parse parseMethodReply(const std::uint8_t* data, std::size_t len, std::size_t& used, std::uint8_t& methodOut);
// Empty when a field is longer than 255 bytes.
std::string makeAuth(const std::string& user, const std::string& password);
Parse parseAuthReply(const std::uint8_t* data, std::size_t len, std::size_t& used, std::uint8_t& status);
std::string makeRequest(const Request& request);
// A whole CONNECT answer; `reply` is its REP field.
Parse parseReply(const std::uint8_t* data, std::size_t len, std::size_t& used, std::uint8_t& reply);

// Answers of a server.
std::string makeMethodChoice(std::uint8_t method);
std::string makeAuthStatus(bool ok);
// Bound address as IPv4 or IPv6 literal; other replies carry 0.0.0.0:0.
std::string makeReply(Reply reply, const std::uint8_t* ip = nullptr, std::size_t ipLen = 0, std::uint16_t port = 0);

// Socket error to the reply a client should see.
Reply replyFor(const std::error_code& ec);

} // namespace zq::socks
