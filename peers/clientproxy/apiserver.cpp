#include "apiserver.h"

#include "form.h"
#include "hostport.h"
#include "httpserver.h"
#include "log.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

namespace zq::clientproxy {

namespace {

constexpr std::size_t kMaxBody = 256 * 1024;
constexpr std::size_t kMaxField = 4096;
constexpr std::size_t kMaxFields = 64;
constexpr unsigned kProbeWorkers = 32;

std::int64_t nowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Form fields of a multipart or url-encoded request, with size limits.
class Form {
public:
    explicit Form(const httplib::Request& req)
    {
        if (req.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0) {
            for (const auto& [k, v] : req.params)
                m_fields.add(k, v);
        } else if (auto parsed = peers::FormFields::fromRequest(req, &m_error)) {
            m_fields = std::move(*parsed);
        }
        if (m_fields.size() > kMaxFields)
            m_error = "too many form fields";
    }
    bool ok() const { return m_error.empty(); }
    const std::string& error() const { return m_error; }
    bool has(const char* name) const { return m_fields.has(name); }
    // Empty text for a missing field; sets the error for an oversized one.
    std::string get(const char* name)
    {
        const auto value = m_fields.get(name);
        if (!value)
            return {};
        if (value->size() > kMaxField) {
            m_error = std::string("field \"") + name + "\" is too long";
            return {};
        }
        return *value;
    }
    std::optional<std::uint16_t> port(const char* name)
    {
        const std::string text = get(name);
        if (!ok())
            return std::nullopt;
        const auto n = parseNumber(text, 1, 65535);
        if (!n) {
            m_error = text.empty() ? std::string("field \"") + name + "\" is missing"
                                   : std::string("field \"") + name + "\" is not a port number: \"" + text + "\"";
            return std::nullopt;
        }
        return static_cast<std::uint16_t>(*n);
    }

private:
    peers::FormFields m_fields;
    std::string m_error;
};

nlohmann::json envelope(int code, const std::string& msg)
{
    return { { "code", code }, { "msg", msg } };
}

std::string joinPorts(const std::vector<std::uint16_t>& ports)
{
    std::string s;
    for (auto p : ports)
        s += (s.empty() ? "" : ",") + std::to_string(p);
    return s;
}

// Filter values of the bulk link: "random" and empty mean no preference.
std::string filterValue(const httplib::Request& req, const char* name)
{
    std::string v = req.has_param(name) ? req.get_param_value(name) : std::string();
    return v == "random" ? std::string() : v;
}

} // namespace

bool isLoopbackAddress(const std::string& addr)
{
    return peers::isLoopbackAddress(addr);
}

bool isDottedIpv4(const std::string& text)
{
    int parts = 0;
    std::size_t pos = 0;
    while (true) {
        const auto dot = text.find('.', pos);
        const std::string part = text.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
        if (part.size() > 3 || !parseNumber(part, 0, 255))
            return false;
        ++parts;
        if (dot == std::string::npos)
            break;
        pos = dot + 1;
    }
    return parts == 4;
}

ApiServer::ApiServer(const Options& options, ProxyCore& core, ServiceClient service, std::string proxyServerAddress)
    : m_options(options)
    , m_core(core)
    , m_service(std::move(service))
    , m_proxyServerAddress(std::move(proxyServerAddress))
    , m_probes(std::chrono::seconds(10))
    , m_linkKey(linkKey(options.sessionId, options.unionId))
{
    peers::HttpLimits limits;
    limits.maxBody = kMaxBody;
    limits.perPeer = 8;
    limits.workers = 32;
    // The LAN may ask only for bulk binding, and only with the link key; nothing of the body is
    // read before that is settled.
    limits.screen = [this](const peers::RequestHead& head) -> std::optional<peers::Refusal> {
        if (isLoopbackAddress(head.peer))
            return std::nullopt;
        const auto key = head.query.find("key");
        if (head.path == "/ip/numerous_bind" && key != head.query.end() && key->second == m_linkKey)
            return std::nullopt;
        logLine("refused " + head.path + " from " + head.peer);
        const std::string why = head.path == "/ip/numerous_bind"
            ? "forbidden: the link key is missing or wrong"
            : "forbidden: " + head.path + " answers only this machine";
        return peers::Refusal { 403,
            envelope(403, why).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) };
    };
    limits.answer = [this](const peers::RequestHead& head, int status, const std::string& msg) {
        const std::string text = envelope(status, msg).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        // The binding calls read their replies through the payload codec, refusals included.
        if (head.path.rfind("/api/set_port_session", 0) == 0)
            return peers::Refusal { status, m_codec.encode(text), "text/plain" };
        return peers::Refusal { status, text };
    };
    m_server = std::make_unique<peers::HttpServer>(std::move(limits));
    routes();
}

std::string linkKey(const std::string& sessionId, const std::string& unionId)
{
    return codec::md5Hex(sessionId + "|" + unionId);
}

ApiServer::~ApiServer() = default;

bool ApiServer::bind(const std::string& host)
{
    return m_server->bind(host, m_options.apiPort) > 0;
}

void ApiServer::serve()
{
    m_server->run();
}

void ApiServer::stop()
{
    m_server->stop();
}

void ApiServer::reply(httplib::Response& res, const nlohmann::json& env, bool encoded)
{
    const std::string text = env.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    res.status = 200;
    if (encoded)
        res.set_content(m_codec.encode(text), "text/plain");
    else
        res.set_content(text, "application/json");
}

void ApiServer::fail(httplib::Response& res, int code, const std::string& msg, bool encoded)
{
    reply(res, envelope(code, msg), encoded);
}

bool ApiServer::requireLoopback(const httplib::Request& req, httplib::Response& res, bool encoded)
{
    if (isLoopbackAddress(req.remote_addr))
        return true;
    logLine("refused " + req.path + " from " + req.remote_addr);
    fail(res, 403, "forbidden: " + req.path + " answers only this machine", encoded);
    res.status = 403; // never read by the client, which calls from this machine
    return false;
}

void ApiServer::routes()
{
    auto& s = *m_server;
    auto local = [this](void (ApiServer::*fn)(const httplib::Request&, httplib::Response&), bool encoded = false) {
        return [this, fn, encoded](const httplib::Request& req, httplib::Response& res) {
            if (requireLoopback(req, res, encoded))
                (this->*fn)(req, res);
        };
    };
    auto status = [this](const httplib::Request& req, httplib::Response& res) {
        if (!requireLoopback(req, res, false))
            return;
        auto env = envelope(0, "success");
        env["data"] = m_proxyServerAddress;
        reply(res, env, false);
    };
    s.post("/api/get_server_status", status);
    s.get("/api/get_server_status", status);
    s.post("/api/set_port_session", local(&ApiServer::setPortSession, true));
    s.post("/api/set_port_session_todaylist", local(&ApiServer::setPortSession, true));
    s.post("/api/del_port_session", local(&ApiServer::delPortSession));
    s.post("/api/freed_proxy_port", local(&ApiServer::freedProxyPort));
    s.post("/api/reset_port", local(&ApiServer::resetPort));
    s.post("/api/check_port_status", local(&ApiServer::checkPortStatus));
    s.post("/api/checkApiPort", local(&ApiServer::checkApiPort));
    s.get("/ip/get_todaylist", local(&ApiServer::todayList));
    s.get("/ip/numerous_bind", [this](const httplib::Request& req, httplib::Response& res) {
        // The server's screen refuses first; this holds should a request ever reach here without it.
        if (!isLoopbackAddress(req.remote_addr) && !(req.has_param("key") && req.get_param_value("key") == m_linkKey)) {
            fail(res, 403, "forbidden: the link key is missing or wrong");
            res.status = 403;
            return;
        }
        numerousBind(req, res);
    });

    // Transport-level refusals (unknown path, oversized body) still answer with an envelope.
    s.setErrorHandler([this](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty())
            return;
        const bool encoded = req.path.rfind("/api/set_port_session", 0) == 0;
        std::string msg = "request refused (HTTP " + std::to_string(res.status) + ")";
        if (res.status == 404)
            msg = "no such endpoint: " + req.method + " " + req.path;
        else if (res.status == 413)
            msg = "request too large (limit " + std::to_string(kMaxBody) + " bytes)";
        const int status = res.status;
        reply(res, envelope(status, msg), encoded);
        res.status = status;
    });
    s.setExceptionHandler([this](const httplib::Request& req, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "internal error";
        try {
            std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what += std::string(": ") + e.what();
        } catch (...) {
        }
        logLine(req.path + ": " + what);
        fail(res, 500, what, req.path.rfind("/api/set_port_session", 0) == 0);
    });
}

void ApiServer::setPortSession(const httplib::Request& req, httplib::Response& res)
{
    Form form(req);
    const auto port = form.port("port");
    const std::string sn = form.get("sn");
    const std::string server = form.get("server");
    const std::string ip = form.get("client_ip");
    const std::string sessionId = form.get("session_id");
    const std::string userField = form.get("user_session");
    const std::string area = form.get("area");
    const std::string region = form.get("region");
    const bool reopen = form.has("open_port");
    const std::string openPort = form.get("open_port");
    const bool unlimited = form.has("plan_type_key");
    const bool residential = form.has("plantypekey");
    const std::string planTypeKey = unlimited ? form.get("plan_type_key") : form.get("plantypekey");
    if (!form.ok() || !port)
        return fail(res, 1, form.error(), true);

    std::string missing;
    for (const auto& [name, value] : { std::pair<const char*, const std::string&> { "sn", sn }, { "server", server },
             { "client_ip", ip }, { "session_id", sessionId }, { "user_session", userField } }) {
        if (value.empty())
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
    if (!missing.empty())
        return fail(res, 1, "missing fields: " + missing, true);

    std::string host;
    std::uint16_t serverPort = 0;
    if (!splitHostPort(server, host, serverPort))
        return fail(res, 1, "field \"server\" is not host:port: \"" + server + "\"", true);
    const std::string exitUser = m_codec.decode(sn);
    if (exitUser.empty())
        return fail(res, 1, "field \"sn\" cannot be decoded", true);
    const std::string user = m_codec.decode(userField);
    if (user.empty())
        return fail(res, 1, "field \"user_session\" cannot be decoded", true);
    if (!m_options.user.empty() && user != m_options.user)
        return fail(res, 1,
            "user_session names account \"" + user + "\" but this proxy serves \"" + m_options.user
                + "\"; restart the proxy after changing accounts",
            true);
    if (reopen && !parseNumber(m_codec.decode(openPort), 0, 65535))
        return fail(res, 1, "field \"open_port\" cannot be decoded to a port", true);
    if (unlimited && residential)
        return fail(res, 1, "plan_type_key and plantypekey cannot both be given", true);
    if (unlimited && planTypeKey.empty())
        return fail(res, 1, "field \"plan_type_key\" is empty", true);
    if (const auto why = m_core.unusableReason(*port); !why.empty())
        return fail(res, 1, why, true);

    BindRegistration reg;
    reg.username = user;
    reg.sn = sn;
    reg.ip = ip;
    reg.server = server;
    reg.port = *port;
    reg.sessionId = sessionId;
    reg.plan = unlimited ? "unlimit" : residential ? "flow" : "S5";
    reg.planTypeKey = planTypeKey;
    reg.charge = !reopen;
    reg.bindType = "Manual";
    const ServiceReply sr = m_service.registerBind(reg);
    logLine("bind " + ip + " -> port " + std::to_string(*port) + " plan " + reg.plan + (reg.charge ? " charged" : "")
        + ": " + (sr.reached ? "code " + std::to_string(sr.code) + " " + sr.msg : sr.msg));
    if (!sr.reached)
        return fail(res, 2, "cannot register the binding: " + sr.msg, true);
    if (sr.code != 0) {
        auto env = envelope(0, sr.msg);
        env["data"] = { { "bind_status", "fail" }, { "bind_message", sr.msg.empty() ? "refused" : sr.msg },
            { "port", *port }, { "ip", ip } };
        return reply(res, env, true);
    }

    Binding b;
    b.port = *port;
    b.ip = ip;
    b.sn = sn;
    b.server = server;
    b.exitUser = exitUser;
    b.sessionId = sessionId;
    b.plan = reg.plan;
    b.planTypeKey = planTypeKey;
    b.bindType = "Manual";
    b.area = area;
    b.region = region;
    b.bindTime = nowSeconds();
    const auto& ret = sr.body.contains("ret_data") ? sr.body["ret_data"] : nlohmann::json();
    if (ret.is_object() && ret.contains("exit_user") && ret["exit_user"].is_string()
        && !ret["exit_user"].get<std::string>().empty())
        b.exitUser = ret["exit_user"].get<std::string>();
    m_probes.forget(b.server, b.exitUser, b.sessionId);
    m_core.bind(b);

    auto env = envelope(0, "success");
    env["data"] = { { "bind_status", "success" }, { "bind_message", "success" }, { "port", *port }, { "ip", ip } };
    if (ret.is_object() && ret.contains("ip_nums"))
        env["data"]["ip_nums"] = ret["ip_nums"];
    reply(res, env, true);
}

void ApiServer::delPortSession(const httplib::Request& req, httplib::Response& res)
{
    Form form(req);
    const auto port = form.port("port");
    if (!form.ok() || !port)
        return fail(res, 1, form.error());
    if (m_core.unbind(*port)) {
        logLine("freed port " + std::to_string(*port));
        auto env = envelope(0, "success");
        env["data"] = *port;
        return reply(res, env, false);
    }
    // Not bound here (for instance after a restart): the client may still clear its records.
    if (m_core.unusableReason(*port).empty() || *port == m_options.programPort) {
        auto env = envelope(0, "port " + std::to_string(*port) + " was not bound");
        env["data"] = *port;
        return reply(res, env, false);
    }
    fail(res, 1, "port " + std::to_string(*port) + " is not served by this proxy");
}

void ApiServer::freedProxyPort(const httplib::Request& req, httplib::Response& res)
{
    Form form(req);
    if (!form.ok())
        return fail(res, 1, form.error());
    const auto n = m_core.unbindAll();
    logLine("freed all ports (" + std::to_string(n) + " bindings)");
    auto env = envelope(0, "success");
    env["data"] = n;
    reply(res, env, false);
}

void ApiServer::resetPort(const httplib::Request& req, httplib::Response& res)
{
    Form form(req);
    const std::string startText = form.get("start_port");
    const std::string numText = form.get("port_num");
    if (!form.ok())
        return fail(res, 1, form.error());
    const auto start = parseNumber(startText, 1, 65535);
    const auto num = parseNumber(numText, 0, 65535);
    if (!start || !num)
        return fail(
            res, 1, "start_port and port_num must be numbers, got \"" + startText + "\" and \"" + numText + "\"");
    if (*start + *num - 1 > 65535)
        return fail(res, 1, "port range " + startText + "+" + numText + " goes past 65535");
    const auto failed = m_core.resetRange(static_cast<std::uint16_t>(*start), static_cast<int>(*num));
    logLine("range reset to " + startText + "+" + numText
        + (failed.empty() ? std::string() : ", could not open " + joinPorts(failed)));
    auto env = envelope(0, failed.empty() ? "success" : "could not open ports " + joinPorts(failed));
    env["data"] = { { "start_port", *start }, { "port_num", *num }, { "failed_ports", failed } };
    reply(res, env, false);
}

void ApiServer::checkPortStatus(const httplib::Request& req, httplib::Response& res)
{
    Form form(req);
    const auto port = form.port("port");
    if (!form.ok() || !port)
        return fail(res, 1, form.error());
    const std::string p = std::to_string(*port);
    if (const auto why = m_core.unusableReason(*port); !why.empty()) {
        auto env = envelope(1, why);
        env["data"] = why;
        return reply(res, env, false);
    }
    std::string text = "port " + p + " is listening";
    if (const auto b = m_core.binding(*port)) {
        const auto probe = m_probes.probe(b->server, b->exitUser, b->sessionId);
        text += ", bound to " + b->ip + " through " + b->server + ": " + probe.msg;
        if (!probe.accepted()) {
            auto env = envelope(1, probe.msg);
            env["data"] = text;
            return reply(res, env, false);
        }
    } else {
        text += ", not bound";
    }
    auto env = envelope(0, "success");
    env["data"] = text;
    reply(res, env, false);
}

void ApiServer::checkApiPort(const httplib::Request& req, httplib::Response& res)
{
    Form form(req);
    if (!form.ok())
        return fail(res, 1, form.error());
    const auto list = m_core.bindings();
    std::vector<ProbeResult> results(list.size());
    // A few workers share the probes; each probe has its own deadline.
    std::atomic<std::size_t> next { 0 };
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < std::min<std::size_t>(kProbeWorkers, list.size()); ++w) {
        workers.emplace_back([&] {
            for (std::size_t i = next++; i < list.size(); i = next++)
                results[i] = m_probes.probe(list[i].server, list[i].exitUser, list[i].sessionId);
        });
    }
    for (auto& t : workers)
        t.join();
    // Only a confirmed refusal fails a binding; an exit node that cannot be asked right now leaves
    // it as it stands, so a passing outage never makes the client drop its lines.
    auto data = nlohmann::json::array();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ProbeResult& r = results[i];
        nlohmann::json entry { { "ip", list[i].ip }, { "port", list[i].port },
            { "status", r.refused() ? "fail" : "success" }, { "msg", r.refused() ? r.msg : "success" },
            { "probe", verdictWord(r.verdict) } };
        if (!r.refused() && !r.accepted())
            entry["probe_msg"] = r.msg;
        data.push_back(std::move(entry));
    }
    auto env = envelope(0, "success");
    env["data"] = std::move(data);
    reply(res, env, false);
}

void ApiServer::todayList(const httplib::Request&, httplib::Response& res)
{
    auto data = nlohmann::json::array();
    for (const auto& b : m_core.bindings()) {
        data.push_back({ { "Ip", b.ip }, { "BindPort", b.port }, { "Sn", b.sn }, { "Server", b.server },
            { "BindTime", b.bindTime }, { "BindType", b.bindType }, { "PlanType", b.plan } });
    }
    auto env = envelope(1, "success");
    env["data"] = std::move(data);
    reply(res, env, false);
}

void ApiServer::numerousBind(const httplib::Request& req, httplib::Response& res)
{
    if (req.params.size() > kMaxFields)
        return fail(res, 1, "too many query parameters");
    for (const auto& [k, v] : req.params) {
        if (v.size() > 256)
            return fail(res, 1, "query parameter \"" + k + "\" is too long");
    }
    const std::string numText = req.has_param("num") ? req.get_param_value("num") : "";
    const auto num = parseNumber(numText, 1, 100);
    if (!num)
        return fail(res, 1, "num must be a number from 1 to 100, got \"" + numText + "\"");
    const std::string t = req.has_param("t") ? req.get_param_value("t") : "txt";
    bool json = false;
    if (t == "json" || t == "2")
        json = true;
    else if (t != "txt" && t != "1")
        return fail(res, 1, "t must be txt or json, got \"" + t + "\"");
    long long first = static_cast<long long>(m_core.rangeStart()) + 5000;
    if (req.has_param("port") && !req.get_param_value("port").empty()) {
        const auto p = parseNumber(req.get_param_value("port"), 1, 65535);
        if (!p)
            return fail(res, 1, "port must be a number from 1 to 65535, got \"" + req.get_param_value("port") + "\"");
        first = *p;
    }
    if (first > 65535)
        first = 1000;
    const std::string startIp = filterValue(req, "startip");
    const std::string endIp = filterValue(req, "endip");
    if ((!startIp.empty() && !isDottedIpv4(startIp)) || (!endIp.empty() && !isDottedIpv4(endIp)))
        return fail(res, 1, "startip and endip must be dotted IPv4 addresses");

    // Lines already bound here are skipped, so ask for that many more.
    std::set<std::string> boundIps;
    for (const auto& b : m_core.bindings())
        boundIps.insert(b.ip);
    std::vector<std::pair<std::string, std::string>> query {
        { "num", std::to_string(std::min<long long>(*num + static_cast<long long>(boundIps.size()), 1000)) },
        { "country", filterValue(req, "country") },
        { "city", filterValue(req, "city") },
        { "state", filterValue(req, "state") },
        { "postal", filterValue(req, "zip") },
        { "isp", filterValue(req, "isp") },
        { "startip", startIp },
        { "endip", endIp },
        { "user", m_codec.encode(m_options.user) },
        { "pwd", m_codec.encode(m_options.password) },
    };

    std::lock_guard<std::mutex> bulk(m_bulkMutex);
    const ServiceReply lines = m_service.lineList(query);
    if (!lines.reached)
        return fail(res, 2, "cannot reach the line catalogue: " + lines.msg);
    if (lines.code != 0)
        return fail(res, lines.code, "line catalogue refused: " + lines.msg);
    const auto& arr = lines.body.contains("data") ? lines.body["data"] : nlohmann::json();
    if (!arr.is_array() || arr.empty())
        return fail(res, 3, "no line matches the filters");

    std::vector<Binding> bound;
    std::string refusal;
    long long cursor = first;
    for (const auto& line : arr) {
        if (static_cast<long long>(bound.size()) >= *num)
            break;
        if (!line.is_object())
            continue;
        auto text = [&](const char* key) {
            return line.contains(key) && line[key].is_string() ? line[key].get<std::string>() : std::string();
        };
        Binding b;
        b.ip = text("ip");
        b.sn = text("sn");
        b.server = text("server");
        b.exitUser = m_codec.decode(b.sn);
        std::string h;
        std::uint16_t hp = 0;
        if (b.ip.empty() || b.exitUser.empty() || !splitHostPort(b.server, h, hp) || !boundIps.insert(b.ip).second)
            continue;
        // Next port that is free and can be opened.
        std::uint16_t port = 0;
        for (; cursor <= 65535 && port == 0; ++cursor) {
            const auto p = static_cast<std::uint16_t>(cursor);
            if (p == m_options.apiPort || p == m_options.programPort || m_core.isBound(p))
                continue;
            if (m_core.ensureListening(p))
                port = p;
        }
        if (port == 0) {
            refusal = "no free port from " + std::to_string(first) + " upward";
            break;
        }
        b.port = port;
        b.sessionId = codec::md5Hex(b.exitUser + m_options.unionId);
        b.plan = "S5";
        b.bindType = "API";
        b.area = text("country");
        b.region = text("server_region");
        b.bindTime = nowSeconds();
        BindRegistration reg;
        reg.username = m_options.user;
        reg.sn = b.sn;
        reg.ip = b.ip;
        reg.server = b.server;
        reg.port = port;
        reg.sessionId = b.sessionId;
        reg.plan = "S5";
        reg.charge = true;
        reg.bindType = "API";
        const ServiceReply sr = m_service.registerBind(reg);
        if (!sr.reached || sr.code != 0) {
            refusal = sr.msg.empty() ? "service refused the binding" : sr.msg;
            break;
        }
        const auto& ret = sr.body.contains("ret_data") ? sr.body["ret_data"] : nlohmann::json();
        if (ret.is_object() && ret.contains("exit_user") && ret["exit_user"].is_string()
            && !ret["exit_user"].get<std::string>().empty())
            b.exitUser = ret["exit_user"].get<std::string>();
        bound.push_back(b);
    }
    m_core.bindMany(bound);
    logLine("bulk bind: " + std::to_string(bound.size()) + " of " + std::to_string(*num) + " lines bound"
        + (refusal.empty() ? std::string() : " (" + refusal + ")"));
    if (bound.empty())
        return fail(res, 4, refusal.empty() ? "no usable line in the catalogue reply" : refusal);

    const std::string localIp = m_options.innerIp.empty() ? std::string("127.0.0.1") : m_options.innerIp;
    res.status = 200;
    if (json) {
        auto out = nlohmann::json::array();
        for (const auto& b : bound)
            out.push_back({ { "ip", localIp }, { "port", b.port } });
        res.set_content(out.dump(), "application/json");
    } else {
        std::string out;
        for (const auto& b : bound)
            out += localIp + ":" + std::to_string(b.port) + "\n";
        res.set_content(out, "text/plain");
    }
}

} // namespace zq::clientproxy
