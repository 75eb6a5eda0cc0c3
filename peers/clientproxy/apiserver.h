#pragma once
// The helper's HTTP API: binding, release, range reset, status and reconciliation for the client
// (loopback only) and the today list and bulk binding for other programs (LAN too).

#include "exitprobe.h"
#include "options.h"
#include "proxycore.h"
#include "serviceclient.h"

#include <payloadcodeccore.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <string>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

namespace zq::peers {
class HttpServer;
} // namespace zq::peers

namespace zq::clientproxy {

// Loopback peers: 127.0.0.0/8, ::1 and their IPv4-mapped forms.
bool isLoopbackAddress(const std::string& addr);
// Dotted IPv4 with four parts of at most three digits, each 0..255.
bool isDottedIpv4(const std::string& text);
// The key a LAN peer must give to bulk binding: MD5 hex of "<session id>|<union id>".
std::string linkKey(const std::string& sessionId, const std::string& unionId);

class ApiServer {
public:
    ApiServer(const Options& options, ProxyCore& core, ServiceClient service, std::string proxyServerAddress);
    ~ApiServer();
    ApiServer(const ApiServer&) = delete;
    ApiServer& operator=(const ApiServer&) = delete;

    // Binds host:apiPort; false when the port cannot be taken.
    bool bind(const std::string& host);
    // Serves until stop(); call after bind().
    void serve();
    void stop();

private:
    void routes();
    bool requireLoopback(const httplib::Request& req, httplib::Response& res, bool encoded);
    void reply(httplib::Response& res, const nlohmann::json& envelope, bool encoded);
    void fail(httplib::Response& res, int code, const std::string& msg, bool encoded = false);

    void setPortSession(const httplib::Request& req, httplib::Response& res);
    void delPortSession(const httplib::Request& req, httplib::Response& res);
    void freedProxyPort(const httplib::Request& req, httplib::Response& res);
    void resetPort(const httplib::Request& req, httplib::Response& res);
    void checkPortStatus(const httplib::Request& req, httplib::Response& res);
    void checkApiPort(const httplib::Request& req, httplib::Response& res);
    void todayList(const httplib::Request& req, httplib::Response& res);
    void numerousBind(const httplib::Request& req, httplib::Response& res);

    const Options m_options;
    ProxyCore& m_core;
    ServiceClient m_service;
    std::string m_proxyServerAddress;
    codec::Codec m_codec;
    ProbeCache m_probes;
    std::mutex m_bulkMutex; // one bulk binding at a time, so two never pick the same free port
    const std::string m_linkKey;
    std::unique_ptr<peers::HttpServer> m_server;
};

} // namespace zq::clientproxy
