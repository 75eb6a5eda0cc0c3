#pragma once
// The helper's calls to the service: binding registration on the account API and the line
// catalogue query used by bulk binding.

#include <nlohmann/json.hpp>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace zq::clientproxy {

// "scheme://host[:port][/prefix]" split for httplib.
struct BaseUrl {
    std::string origin; // scheme://host:port
    std::string prefix; // path prefix without trailing slash
    bool valid = false;
};
BaseUrl parseBaseUrl(const std::string& url);

struct ServiceReply {
    bool reached = false; // false: no HTTP answer or not an envelope
    int code = -1;
    std::string msg;
    nlohmann::json body;
};

struct BindRegistration {
    std::string username;
    std::string sn;
    std::string ip;
    std::string server;
    int port = 0;
    std::string sessionId;
    std::string plan; // "S5", "unlimit", "flow"
    std::string planTypeKey;
    bool charge = true;
    std::string bindType; // "Manual" or "API"
};

class ServiceClient {
public:
    // user and password let the helper sign in again when the service no longer knows the session
    // it was started with (sessions are replaced as the client keeps logging in).
    ServiceClient(std::string accountBase, std::string resourceBase, std::string sessionId, std::string user = {},
        std::string password = {});
    ServiceClient(const ServiceClient& other);

    ServiceReply registerBind(const BindRegistration& r) const;
    // Form fields in the order the line catalogue expects.
    ServiceReply lineList(const std::vector<std::pair<std::string, std::string>>& fields) const;

private:
    ServiceReply post(const std::string& base, const std::string& path,
        const std::vector<std::pair<std::string, std::string>>& fields) const;
    ServiceReply postOnce(const std::string& base, const std::string& path,
        const std::vector<std::pair<std::string, std::string>>& fields, const std::string& session) const;
    bool signIn(const std::string& staleSession) const;

    std::string m_accountBase;
    std::string m_resourceBase;
    std::string m_user;
    std::string m_password;
    mutable std::mutex m_mutex;
    mutable std::string m_sessionId;
};

// Base addresses from the environment, else the build's defaults.
std::string accountBase();
std::string resourceBase();
std::string proxyServerAddress();

} // namespace zq::clientproxy
