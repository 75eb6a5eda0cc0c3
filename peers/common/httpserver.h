#pragma once
// The peers' HTTP server: one event-loop thread reads every request whole, within a deadline and
// within limits on head size, header count and body size whatever the framing, so no thread waits
// on a slow peer; handlers then run on a pool of workers. Plain HTTP or TLS.
//
// Handlers see httplib's request and response types, so they read the same as with httplib.

#include <httplib.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zq::peers {

// What is known of a request before its body is read.
struct RequestHead {
    std::string peer; // remote address, IPv4-mapped IPv6 shown as IPv4
    std::string method;
    std::string path; // without the query
    httplib::Params query; // decoded query items
};

struct Refusal {
    int status = 403;
    std::string body;
    std::string contentType = "application/json";
};

struct HttpLimits {
    std::size_t maxHead = 16 * 1024; // request line and headers
    std::size_t maxHeaders = 64;
    std::size_t maxBody = 1 << 20; // after de-chunking
    std::chrono::milliseconds deadline { 10000 }; // whole request, head and body
    std::chrono::milliseconds keepAlive { 5000 }; // wait for the next request on a connection
    std::chrono::milliseconds writeTimeout { 10000 };
    unsigned perPeer = 16; // open connections of one non-loopback address
    unsigned perLoopback = 1000; // open connections from loopback, all of them together
    unsigned workers = 32; // threads running handlers
    // Refuses a request from its head alone, before the body is read.
    std::function<std::optional<Refusal>(const RequestHead&)> screen;
    // The reply to a request refused by the server itself (408, 413, 431 ...); a JSON envelope
    // {"code": status, "msg"} when unset.
    std::function<Refusal(const RequestHead&, int status, const std::string& msg)> answer;
};

class HttpServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    using ExceptionHandler = std::function<void(const httplib::Request&, httplib::Response&, std::exception_ptr)>;

    explicit HttpServer(HttpLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Routes by exact path, or by regular expression when the pattern has a group ("(").
    void get(const std::string& pattern, Handler handler);
    void post(const std::string& pattern, Handler handler);
    // Runs for every reply of status 400 or more (unknown paths included), after any handler.
    void setErrorHandler(Handler handler);
    // Runs when a handler throws; the status is 500 by then.
    void setExceptionHandler(ExceptionHandler handler);

    // Serves TLS with this certificate chain and key (PEM); false and a reason when unusable.
    bool useTls(const std::string& certFile, const std::string& keyFile, std::string* error);

    // Listens on host:port (0 picks a free port); returns the port, or -1 and a reason.
    int bind(const std::string& host, int port, std::string* error = nullptr);
    // Serves until stop(), then waits for the handlers still running; call after bind().
    void run();
    // Stops accepting and ends every connection at once; safe from any thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zq::peers
