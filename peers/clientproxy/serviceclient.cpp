#include "serviceclient.h"

#include <httplib.h>

#include <cstdlib>

#ifndef ZQ_DEFAULT_ACCOUNT_BASE
#define ZQ_DEFAULT_ACCOUNT_BASE "http://127.0.0.1:18080"
#endif
#ifndef ZQ_DEFAULT_RESOURCE_BASE
#define ZQ_DEFAULT_RESOURCE_BASE "http://127.0.0.1:18080"
#endif
#ifndef ZQ_DEFAULT_PROXY_SERVER_ADDRESS
#define ZQ_DEFAULT_PROXY_SERVER_ADDRESS "127.0.0.1"
#endif

namespace zq::clientproxy {

namespace {
// The service's code for a session it does not know (expired or replaced).
constexpr int kSessionUnknown = 401;

std::string envOr(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::string(fallback);
}
} // namespace

std::string accountBase()
{
    return envOr("ZQ_ACCOUNT_BASE", ZQ_DEFAULT_ACCOUNT_BASE);
}
std::string resourceBase()
{
    return envOr("ZQ_RESOURCE_BASE", ZQ_DEFAULT_RESOURCE_BASE);
}
std::string proxyServerAddress()
{
    return envOr("ZQ_PROXY_SERVER_ADDRESS", ZQ_DEFAULT_PROXY_SERVER_ADDRESS);
}

BaseUrl parseBaseUrl(const std::string& url)
{
    BaseUrl b;
    const auto scheme = url.find("://");
    if (scheme == std::string::npos)
        return b;
    const std::string s = url.substr(0, scheme);
    if (s != "http" && s != "https")
        return b;
    const auto slash = url.find('/', scheme + 3);
    b.origin = url.substr(0, slash);
    if (slash != std::string::npos)
        b.prefix = url.substr(slash);
    while (!b.prefix.empty() && b.prefix.back() == '/')
        b.prefix.pop_back();
    b.valid = b.origin.size() > scheme + 3;
    return b;
}

ServiceClient::ServiceClient(
    std::string accountBase, std::string resourceBase, std::string sessionId, std::string user, std::string password)
    : m_accountBase(std::move(accountBase))
    , m_resourceBase(std::move(resourceBase))
    , m_user(std::move(user))
    , m_password(std::move(password))
    , m_sessionId(std::move(sessionId))
{
}

ServiceClient::ServiceClient(const ServiceClient& other)
    : m_accountBase(other.m_accountBase)
    , m_resourceBase(other.m_resourceBase)
    , m_user(other.m_user)
    , m_password(other.m_password)
{
    std::lock_guard<std::mutex> lock(other.m_mutex);
    m_sessionId = other.m_sessionId;
}

ServiceReply ServiceClient::post(const std::string& base, const std::string& path,
    const std::vector<std::pair<std::string, std::string>>& fields) const
{
    std::string session;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        session = m_sessionId;
    }
    ServiceReply out = postOnce(base, path, fields, session);
    if (out.reached && out.code == kSessionUnknown && signIn(session)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        session = m_sessionId;
    } else {
        return out;
    }
    return postOnce(base, path, fields, session);
}

bool ServiceClient::signIn(const std::string& staleSession) const
{
    {
        // Another request may have signed in meanwhile.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_sessionId != staleSession)
            return true;
    }
    if (m_user.empty() || m_password.empty())
        return false;
    const ServiceReply r
        = postOnce(m_accountBase, "/api/socks/login", { { "username", m_user }, { "password", m_password } }, {});
    if (!r.reached || r.code != 0 || !r.body.contains("ret_data") || !r.body["ret_data"].is_object())
        return false;
    const auto& ret = r.body["ret_data"];
    if (!ret.contains("session_id") || !ret["session_id"].is_string())
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sessionId = ret["session_id"].get<std::string>();
    return !m_sessionId.empty();
}

ServiceReply ServiceClient::postOnce(const std::string& base, const std::string& path,
    const std::vector<std::pair<std::string, std::string>>& fields, const std::string& session) const
{
    ServiceReply out;
    const BaseUrl b = parseBaseUrl(base);
    if (!b.valid) {
        out.msg = "bad service address " + base;
        return out;
    }
    httplib::Client cli(b.origin);
    cli.set_connection_timeout(5, 0);
    cli.set_read_timeout(8, 0);
    cli.set_write_timeout(5, 0);
    httplib::MultipartFormDataItems items;
    for (const auto& [name, value] : fields)
        items.push_back({ name, value, "", "" });
    httplib::Headers headers;
    if (!session.empty())
        headers.emplace("session-id", session);
    auto res = cli.Post((b.prefix + path).c_str(), headers, items);
    if (!res) {
        out.msg = "service unreachable (" + httplib::to_string(res.error()) + ")";
        return out;
    }
    auto j = nlohmann::json::parse(res->body, nullptr, false);
    if (!j.is_object() || !j.contains("code") || !j["code"].is_number_integer()) {
        out.msg = "service answered HTTP " + std::to_string(res->status) + " without an envelope";
        return out;
    }
    out.reached = true;
    out.code = j["code"].get<int>();
    if (j.contains("msg") && j["msg"].is_string())
        out.msg = j["msg"].get<std::string>();
    out.body = std::move(j);
    return out;
}

ServiceReply ServiceClient::registerBind(const BindRegistration& r) const
{
    std::vector<std::pair<std::string, std::string>> f {
        { "username", r.username },
        { "sn", r.sn },
        { "ip", r.ip },
        { "server", r.server },
        { "port", std::to_string(r.port) },
        { "session_id", r.sessionId },
        { "plan", r.plan },
    };
    if (r.plan == "unlimit")
        f.emplace_back("plan_type_key", r.planTypeKey);
    else if (r.plan == "flow")
        f.emplace_back("plantypekey", r.planTypeKey);
    f.emplace_back("charge", r.charge ? "1" : "0");
    f.emplace_back("bind_type", r.bindType);
    return post(m_accountBase, "/api/session/bind", f);
}

ServiceReply ServiceClient::lineList(const std::vector<std::pair<std::string, std::string>>& fields) const
{
    return post(m_resourceBase, "/api/get_line_list", fields);
}

} // namespace zq::clientproxy
