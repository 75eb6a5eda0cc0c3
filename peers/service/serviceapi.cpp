#include "serviceapi.h"

#include "atomicfile.h"
#include "envelope.h"
#include "hostport.h"

#include <cstdlib>

namespace zq::service {

using nlohmann::json;
using peers::envelope;
using peers::kBadRequest;
using peers::kInternal;
using peers::kNotFound;
using peers::kNotLoggedIn;
using peers::kRefused;

namespace {

// Longest value accepted for ids, names and remarks; the client's are far shorter.
constexpr std::size_t kMaxIdLength = 128;
constexpr std::size_t kMaxRemarkLength = 600;
constexpr int kMaxLines = 500;

json missing(const char* field)
{
    return envelope(kBadRequest, std::string("missing field \"") + field + "\"");
}

// Strict decimal integer; nullopt for anything else (sign allowed only when negative is asked for).
std::optional<long long> parseInteger(const std::string& text)
{
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    std::size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return std::nullopt;
    for (std::size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9')
            return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}

// The plan of list and favourite calls: no field or "" is S5.
std::optional<Plan> planOf(const peers::FormFields& form, json* error)
{
    const std::string word = form.value("plantype");
    const auto plan = planFromWord(word);
    if (!plan)
        *error = envelope(kBadRequest, "unknown plantype \"" + word + "\" (expected none, \"flow\" or \"unlimit\")");
    return plan;
}

} // namespace

ServiceApi::ServiceApi(const ServiceData& data, const Catalogue& catalogue, AccountStore& store)
    : m_data(data)
    , m_catalogue(catalogue)
    , m_store(store)
{
}

void ServiceApi::install(peers::HttpServer& server, const std::string& scheme)
{
    m_scheme = scheme;
    route(server, "/api/socks/login", false, &ServiceApi::login);
    route(server, "/api/socks/logout", true, &ServiceApi::logout);
    route(server, "/api/socks/config", false, &ServiceApi::config);
    route(server, "/api/client/socks_qt_check_update", false, &ServiceApi::checkUpdate);
    route(server, "/api/check/ip", false, &ServiceApi::checkIp);
    route(server, "/api/checkProxy", true, &ServiceApi::checkProxy);
    route(server, "/api/socks/get_ip", true, &ServiceApi::ipCount);
    route(server, "/api/limitInfo", true, &ServiceApi::limitInfo);
    route(server, "/api/userflow", true, &ServiceApi::userFlow);
    route(server, "/api/get_ips_package", true, &ServiceApi::packages);
    route(server, "/api/todayList/getInfo", true, &ServiceApi::todayList);
    route(server, "/api/todayList/getFavouriteInfo", true, &ServiceApi::favouriteList);
    route(server, "/api/favouriteList/test", true, &ServiceApi::addFavourite);
    route(server, "/api/favouriteList/remark", true, &ServiceApi::remark);
    route(server, "/api/favouriteList/dislike", true, &ServiceApi::dislike);
    route(server, "/api/get_line_list", true, &ServiceApi::lineList);
    route(server, "/unlimit/get_unlimit_list", true, &ServiceApi::unlimitLineList);
    route(server, "/api/get_area_list", false, &ServiceApi::areaList);
    route(server, "/api/sn_is_exist", true, &ServiceApi::snExists);
    route(server, "/api/session/bind", true, &ServiceApi::bindSession);
    route(server, "/api/session/unbind", true, &ServiceApi::unbindSession);
    route(server, "/api/test/clock", false, &ServiceApi::testClock);
    server.get(
        R"(/download/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) { download(req, res); });
}

void ServiceApi::route(peers::HttpServer& server, const std::string& path, bool needsSession, Handler handler)
{
    server.post(path, [this, needsSession, handler](const httplib::Request& req, httplib::Response& res) {
        json out;
        std::string error;
        const auto form = peers::FormFields::fromRequest(req, &error);
        try {
            if (!form) {
                out = envelope(kBadRequest, error);
            } else {
                Call call { req, *form, {} };
                if (needsSession) {
                    const std::string session = req.get_header_value("session-id");
                    const auto user = session.empty() ? std::nullopt : m_store.accountForSession(session);
                    if (session.empty())
                        out = envelope(kNotLoggedIn, "not logged in: the session-id header is missing");
                    else if (!user)
                        out = envelope(kNotLoggedIn, "session expired or unknown, please log in again");
                    else
                        call.username = *user;
                }
                if (out.is_null())
                    out = (this->*handler)(call);
            }
        } catch (const std::exception& e) {
            out = envelope(kInternal, std::string("internal error: ") + e.what());
        }
        // Tests ask to see what the service received.
        if (form && req.get_header_value("x-echo") == "1")
            out["echo"] = form->toJson();
        peers::sendJson(res, out);
    });
}

// ---- helpers ----

json ServiceApi::lineJson(const Line& line) const
{
    json j { { "id", line.id }, { "ip", line.ip }, { "sn", m_codec.encode(line.sn) }, { "server", line.server },
        { "iso", line.iso }, { "country", line.country }, { "state", line.state }, { "city", line.city },
        { "postal", line.postal }, { "isp", line.isp }, { "asn", line.asn }, { "server_region", line.region },
        { "status", line.status }, { "plan", planWord(line.plan) } };
    if (line.plan != Plan::S5)
        j["plan_type_key"] = line.planTypeKey;
    return j;
}

std::optional<std::string> ServiceApi::decodeField(const std::string& text) const
{
    if (text.empty())
        return std::nullopt;
    std::string plain = m_codec.decode(text);
    if (plain.empty())
        return std::nullopt;
    return plain;
}

std::optional<json> ServiceApi::checkUser(const Call& call, const char* field, bool encodedOnly) const
{
    const auto value = call.form.get(field);
    if (!value || value->empty())
        return missing(field);
    if (!encodedOnly && *value == call.username)
        return std::nullopt;
    const auto plain = decodeField(*value);
    if (plain && *plain == call.username)
        return std::nullopt;
    if (!plain && encodedOnly)
        return envelope(kBadRequest, std::string("\"") + field + "\" is not payload-codec text");
    return envelope(kRefused, std::string("\"") + field + "\" does not match the logged-in account");
}

const Line* ServiceApi::lineFromSn(const Call& call, json* error) const
{
    const auto sn = call.form.get("sn");
    if (!sn || sn->empty()) {
        *error = missing("sn");
        return nullptr;
    }
    const auto plain = decodeField(*sn);
    if (!plain) {
        *error = envelope(kBadRequest, "\"sn\" is not payload-codec text");
        return nullptr;
    }
    const Line* line = m_catalogue.bySn(*plain);
    if (!line)
        *error = envelope(kNotFound, "unknown line: no line has this sn");
    return line;
}

// ---- account ----

json ServiceApi::login(const Call& call)
{
    const std::string username = call.form.value("username");
    const std::string password = call.form.value("password");
    if (username.empty() || password.empty())
        return envelope(kBadRequest, "username and password are required");
    const LoginOutcome result = m_store.login(username, password);
    if (!result.ok())
        return envelope(result.code, result.msg);
    const AccountSeed& a = result.info;
    json info { { "uid", a.uid }, { "username", a.username }, { "email", a.email },
        { "pwd", m_codec.encode(a.password) }, { "ip_nums", a.ipNums } };
    return envelope(0, "success", "ret_data",
        { { "session_id", result.sessionId }, { "token", result.token }, { "expire_time", a.expireTime },
            { "server", a.server }, { "info", info } });
}

json ServiceApi::logout(const Call& call)
{
    m_store.logout(call.req.get_header_value("session-id"));
    return envelope(1, "success");
}

json ServiceApi::config(const Call&)
{
    return envelope(0, "success", "ret_data", m_data.config);
}

json ServiceApi::checkUpdate(const Call& call)
{
    const auto version = call.form.get("version");
    if (!version || version->empty())
        return missing("version");
    const auto number = parseInteger(*version);
    if (!number)
        return envelope(kBadRequest, "\"version\" must be a whole number such as 207");
    if (!m_data.update || *number >= m_data.update->version)
        return envelope(0, "No update program at present");
    const UpdateOffer& u = *m_data.update;
    std::string host = call.req.get_header_value("Host");
    if (host.empty())
        host = call.req.local_addr + ":" + std::to_string(call.req.local_port);
    return envelope(1, "new version available", "ret_data",
        { { "force_update", u.forceUpdate }, { "desc", u.desc }, { "version", std::to_string(u.version) },
            { "show_version", u.showVersion }, { "download_path", u.downloadName },
            { "down_url", m_scheme + "://" + host + "/download/" + u.downloadName } });
}

json ServiceApi::checkIp(const Call& call)
{
    return envelope(0, "success", "ret_data", { { "ip", call.req.remote_addr }, { "country", "local network" } });
}

json ServiceApi::checkProxy(const Call&)
{
    return envelope(1, "success");
}

json ServiceApi::ipCount(const Call& call)
{
    const auto a = m_store.account(call.username);
    return envelope(0, "success", "ret_data", { { "ip_num", a ? a->ipNums : 0 } });
}

json ServiceApi::limitInfo(const Call& call)
{
    if (auto error = checkUser(call, "username", false))
        return *error;
    const auto a = m_store.account(call.username);
    return envelope(
        0, "success", "ret_data", { { "expire_time", a->expireTime }, { "uid", a->uid }, { "server", a->server } });
}

json ServiceApi::userFlow(const Call& call)
{
    const auto uid = call.form.get("uid");
    if (!uid || uid->empty())
        return missing("uid");
    const auto number = parseInteger(*uid);
    if (!number)
        return envelope(kBadRequest, "\"uid\" must be a whole number");
    const auto a = m_store.account(call.username);
    if (*number != a->uid)
        return envelope(kRefused, "\"uid\" does not match the logged-in account");
    return envelope(1, "success", "data",
        { { "balance", a->flowBalance }, { "all_buy", a->flowAllBuy }, { "expire_time", a->flowExpire } });
}

json ServiceApi::packages(const Call& call)
{
    if (auto error = checkUser(call, "username", true))
        return *error;
    json list = json::array();
    for (const auto& p : m_data.packages)
        list.push_back({ { "num", p.num }, { "limit_sale_price", p.salePrice }, { "money", p.money } });
    return envelope(1, "success", "data", list);
}

// ---- today and favourite lists ----

json ServiceApi::todayList(const Call& call)
{
    if (auto error = checkUser(call, "username", true))
        return *error;
    json error;
    const auto plan = planOf(call.form, &error);
    if (!plan)
        return error;
    json list = json::array();
    for (const auto& t : m_store.today(call.username, *plan)) {
        const Line* line = m_catalogue.bySn(t.sn);
        if (!line)
            continue;
        json j = lineJson(*line);
        j["bind_time"] = t.bindTime;
        j["session_id"] = t.sessionId;
        j["bind_type"] = t.bindType == "API" ? 1 : 0;
        j["port"] = t.port;
        list.push_back(std::move(j));
    }
    return envelope(0, "success", "ret_data", list);
}

json ServiceApi::favouriteList(const Call& call)
{
    if (auto error = checkUser(call, "username", true))
        return *error;
    json error;
    const auto plan = planOf(call.form, &error);
    if (!plan)
        return error;
    json list = json::array();
    for (const auto& [fav, today] : m_store.favourites(call.username, *plan)) {
        const Line* line = m_catalogue.byIp(fav.ip);
        if (!line)
            continue;
        json j = lineJson(*line);
        j["bind_time"] = today ? today->bindTime : 0;
        j["session_id"] = today ? today->sessionId : std::string();
        j["remarks"] = fav.remarks;
        list.push_back(std::move(j));
    }
    return envelope(0, "success", "ret_data", list);
}

json ServiceApi::addFavourite(const Call& call)
{
    if (auto error = checkUser(call, "username", false))
        return *error;
    json error;
    const auto plan = planOf(call.form, &error);
    if (!plan)
        return error;
    const std::string ip = call.form.value("ip");
    if (ip.empty())
        return missing("ip");
    const Line* line = m_catalogue.byIp(ip);
    if (!line)
        return envelope(kNotFound, "unknown line: no line has the ip " + ip);
    if (line->plan != *plan)
        return envelope(kBadRequest, std::string("the line is not a ") + planWord(*plan) + " line");
    if (call.form.has("sn") && lineFromSn(call, &error) != line)
        return error.is_null() ? envelope(kBadRequest, "\"sn\" does not belong to the line with this ip") : error;
    const std::string area = call.form.value("area");
    if (area.size() > kMaxRemarkLength)
        return envelope(kBadRequest, "\"area\" is too long");
    if (m_store.addFavourite(call.username, *line, area) == 0)
        return envelope(0, "exist");
    return envelope(1, "success;" + ip);
}

json ServiceApi::remark(const Call& call)
{
    if (auto error = checkUser(call, "username", false))
        return *error;
    json error;
    const auto plan = planOf(call.form, &error);
    if (!plan)
        return error;
    const std::string ip = call.form.value("ip");
    if (ip.empty())
        return missing("ip");
    const auto remarks = call.form.get("remarks");
    if (!remarks)
        return missing("remarks");
    if (remarks->size() > kMaxRemarkLength)
        return envelope(kBadRequest, "remark too long (at most 600 bytes)");
    if (!m_store.setRemark(call.username, ip, *plan, *remarks))
        return envelope(kNotFound, "the line " + ip + " is not among the favourites of this plan");
    return envelope(1, "success");
}

json ServiceApi::dislike(const Call& call)
{
    if (auto error = checkUser(call, "username", false))
        return *error;
    const std::string ip = call.form.value("ip");
    if (ip.empty())
        return missing("ip");
    const Line* line = m_catalogue.byIp(ip);
    if (!line)
        return envelope(kNotFound, "unknown line: no line has the ip " + ip);
    m_store.dislike(call.username, *line);
    return envelope(1, "success");
}

// ---- line catalogue ----

json ServiceApi::lineList(const Call& call)
{
    const auto& form = call.form;
    // The list requests carry the account again: "user" and "pwd" as codec text.
    if (form.has("user"))
        if (auto error = checkUser(call, "user", true))
            return *error;
    if (const std::string pwd = form.value("pwd"); !pwd.empty()) {
        const auto plain = decodeField(pwd);
        const auto a = m_store.account(call.username);
        if (!plain || !a || *plain != a->password)
            return envelope(kRefused, "Username or password is incorrect");
    }
    const std::string word = form.value("plantype");
    if (!word.empty() && word != "flow")
        return envelope(kBadRequest,
            "plantype must be empty or \"flow\" here; unlimited lines are listed by "
            "/unlimit/get_unlimit_list");
    LineQuery query;
    query.plan = word == "flow" ? Plan::Flow : Plan::S5;
    if (form.has("num")) {
        const auto num = parseInteger(form.value("num"));
        if (!num)
            return envelope(kBadRequest, "\"num\" must be a whole number");
        if (*num < 1)
            return envelope(kBadRequest, "\"num\" must be at least 1");
        query.num = int(std::min<long long>(*num, kMaxLines));
    }
    query.countries = form.all("country");
    query.state = form.value("state");
    query.city = form.value("city");
    query.postal = form.value("postal");
    query.isp = form.value("isp");
    for (const char* field : { "startip", "endip" }) {
        const std::string text = form.value(field);
        if (text.empty())
            continue;
        const auto ip = parseIpv4(text);
        if (!ip)
            return envelope(kBadRequest, std::string("\"") + field + "\" is not an IPv4 address");
        (std::string(field) == "startip" ? query.startIp : query.endIp) = *ip;
    }
    if (query.startIp && query.endIp && *query.startIp > *query.endIp)
        return envelope(kBadRequest, "\"startip\" is above \"endip\"");
    const auto disliked = m_store.dislikes(call.username);
    json list = json::array();
    for (const Line* line : m_catalogue.query(query, [&](const Line& l) { return disliked.count(l.ip) > 0; }))
        list.push_back(lineJson(*line));
    return envelope(0, "success", "data", list);
}

json ServiceApi::unlimitLineList(const Call& call)
{
    const auto& form = call.form;
    if (form.has("user"))
        if (auto error = checkUser(call, "user", true))
            return *error;
    const std::string word = form.value("plantype", "unlimit");
    if (word != "unlimit")
        return envelope(kBadRequest, "plantype must be \"unlimit\" here");
    LineQuery query;
    query.plan = Plan::Unlimit;
    if (form.has("num")) {
        const auto num = parseInteger(form.value("num"));
        if (!num || *num < 1)
            return envelope(kBadRequest, "\"num\" must be a whole number of at least 1");
        query.num = int(std::min<long long>(*num, kMaxLines));
    }
    const auto disliked = m_store.dislikes(call.username);
    json list = json::array();
    for (const Line* line : m_catalogue.query(query, [&](const Line& l) { return disliked.count(l.ip) > 0; }))
        list.push_back(lineJson(*line));
    return envelope(0, "success", "data", list);
}

json ServiceApi::areaList(const Call&)
{
    json list = json::array();
    for (const auto& c : m_data.areas) {
        json states = json::array();
        for (const auto& s : c.states) {
            json cities = json::array();
            for (const auto& city : s.cities)
                cities.push_back({ { "code", city.code }, { "name", city.name } });
            states.push_back({ { "code", s.code }, { "name", s.name }, { "city_list", cities } });
        }
        list.push_back({ { "code", c.code }, { "name", c.name }, { "state_list", states } });
    }
    return envelope(0, "success", "data", list);
}

json ServiceApi::snExists(const Call& call)
{
    json error;
    const Line* line = lineFromSn(call, &error);
    if (!line)
        return error;
    if (line->status != "Online")
        return envelope(kNotFound, "the line is offline");
    return envelope(0, "online");
}

// ---- bindings registered by the local helper ----

json ServiceApi::bindSession(const Call& call)
{
    const auto& form = call.form;
    if (auto error = checkUser(call, "username", false))
        return *error;
    json error;
    const Line* line = lineFromSn(call, &error);
    if (!line)
        return error;
    const std::string ip = form.value("ip");
    if (ip.empty())
        return missing("ip");
    if (ip != line->ip)
        return envelope(kBadRequest, "\"ip\" " + ip + " is not the exit IP of this line");
    BindRequest request;
    request.line = line;
    request.sessionId = form.value("session_id");
    if (request.sessionId.empty())
        return missing("session_id");
    if (request.sessionId.size() > kMaxIdLength)
        return envelope(kBadRequest, "\"session_id\" is too long");
    const auto port = parseInteger(form.value("port"));
    if (!form.has("port"))
        return missing("port");
    if (!port || *port < 1 || *port > 65535)
        return envelope(kBadRequest, "\"port\" must be a port number 1..65535");
    request.port = int(*port);
    const std::string planText = form.value("plan");
    if (planText.empty())
        return missing("plan");
    const auto plan = planFromWord(planText);
    if (!plan)
        return envelope(kBadRequest, "\"plan\" must be \"S5\", \"unlimit\" or \"flow\"");
    if (*plan != line->plan)
        return envelope(
            kBadRequest, std::string("the line is a ") + planWord(line->plan) + " line, not " + planWord(*plan));
    const std::string charge = form.value("charge");
    if (charge != "1" && charge != "0")
        return envelope(kBadRequest, "\"charge\" must be \"1\" or \"0\"");
    request.charge = charge == "1";
    request.bindType = form.value("bind_type", "Manual");
    if (request.bindType != "Manual" && request.bindType != "API")
        return envelope(kBadRequest, "\"bind_type\" must be \"Manual\" or \"API\"");
    int ipNums = 0;
    const Outcome result = m_store.bind(call.username, request, &ipNums);
    if (!result.ok())
        return envelope(result.code, result.msg);
    return envelope(0, "success", "ret_data",
        { { "ip_nums", ipNums }, { "exit_user", line->sn }, { "server", line->server }, { "ip", line->ip } });
}

json ServiceApi::unbindSession(const Call& call)
{
    json error;
    const Line* line = lineFromSn(call, &error);
    if (!line)
        return error;
    const std::string session = call.form.value("session_id");
    if (session.empty())
        return missing("session_id");
    if (!m_store.unbind(call.username, session, line->sn))
        return envelope(kNotFound, "no such binding");
    return envelope(0, "success");
}

// ---- clock for tests ----

// Moves the service's "now" so tests can age bindings; only this machine may do it.
json ServiceApi::testClock(const Call& call)
{
    if (!peers::isLoopbackAddress(call.req.remote_addr))
        return envelope(kRefused, "forbidden: /api/test/clock answers only this machine");
    const auto text = call.form.get("offset");
    if (!text || text->empty())
        return missing("offset");
    const auto offset = parseClockOffset(*text);
    if (!offset)
        return envelope(kBadRequest,
            "\"offset\" must be a whole number of seconds within +-" + std::to_string(kMaxClockOffset)
                + ", such as 86401 or -3600");
    setClockOffset(*offset);
    return envelope(0, "success", "data", { { "offset", *offset }, { "now", nowSeconds() } });
}

// ---- installer ----

void ServiceApi::download(const httplib::Request& req, httplib::Response& res)
{
    const std::string name = req.matches[1];
    if (!m_data.update || name != m_data.update->downloadName) {
        res.status = 404;
        peers::sendJson(res, envelope(kNotFound, "no such file"));
        return;
    }
    std::string content;
    std::string error;
    if (!peers::readFile(m_data.dataDir + "/" + m_data.update->file, content, &error)) {
        res.status = 500;
        peers::sendJson(res, envelope(kInternal, "installer missing: " + error));
        return;
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content(std::move(content), "application/octet-stream");
}

} // namespace zq::service
