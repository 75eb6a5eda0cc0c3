#include "servicedata.h"

#include "atomicfile.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include <set>

namespace zq::service {

using nlohmann::json;

const char* planWord(Plan plan)
{
    switch (plan) {
    case Plan::Unlimit:
        return "unlimit";
    case Plan::Flow:
        return "flow";
    case Plan::S5:
        break;
    }
    return "S5";
}

std::optional<Plan> planFromWord(const std::string& word)
{
    if (word.empty() || word == "S5")
        return Plan::S5;
    if (word == "unlimit")
        return Plan::Unlimit;
    if (word == "flow")
        return Plan::Flow;
    return std::nullopt;
}

std::optional<std::uint32_t> parseIpv4(const std::string& text)
{
    in_addr addr {};
    if (text.empty() || ::inet_pton(AF_INET, text.c_str(), &addr) != 1)
        return std::nullopt;
    return ntohl(addr.s_addr);
}

namespace {

std::string text(const json& obj, const char* key)
{
    auto it = obj.find(key);
    if (it == obj.end() || it->is_null())
        return {};
    if (!it->is_string())
        throw std::runtime_error(std::string("\"") + key + "\" must be a text");
    return it->get<std::string>();
}

std::int64_t number(const json& obj, const char* key)
{
    auto it = obj.find(key);
    if (it == obj.end() || it->is_null())
        return 0;
    if (!it->is_number_integer())
        throw std::runtime_error(std::string("\"") + key + "\" must be an integer");
    return it->get<std::int64_t>();
}

AccountSeed readAccount(const json& a)
{
    AccountSeed s;
    s.uid = int(number(a, "uid"));
    s.username = text(a, "username");
    s.password = text(a, "password");
    s.email = text(a, "email");
    s.server = text(a, "server");
    s.ipNums = int(number(a, "ip_nums"));
    s.expireTime = number(a, "expire_time");
    if (auto f = a.find("flow"); f != a.end()) {
        s.flowBalance = number(*f, "balance");
        s.flowAllBuy = number(*f, "all_buy");
        s.flowExpire = number(*f, "expire_time");
    }
    if (s.username.empty() || s.password.empty())
        throw std::runtime_error("an account needs \"username\" and \"password\"");
    return s;
}

Line readLine(const json& l)
{
    Line line;
    line.id = int(number(l, "id"));
    const auto plan = planFromWord(text(l, "plan"));
    if (!plan)
        throw std::runtime_error("line " + std::to_string(line.id) + ": unknown plan");
    line.plan = *plan;
    line.sn = text(l, "sn");
    line.ip = text(l, "ip");
    const auto ip = parseIpv4(line.ip);
    if (line.sn.empty() || !ip)
        throw std::runtime_error("line " + std::to_string(line.id) + ": needs \"sn\" and an IPv4 \"ip\"");
    line.ipValue = *ip;
    line.server = text(l, "server");
    line.iso = text(l, "iso");
    line.country = text(l, "country");
    line.state = text(l, "state");
    line.city = text(l, "city");
    line.postal = text(l, "postal");
    line.isp = text(l, "isp");
    line.asn = text(l, "asn");
    line.region = text(l, "server_region");
    line.status = text(l, "status");
    if (line.status.empty())
        line.status = "Online";
    line.planTypeKey = text(l, "plan_type_key");
    return line;
}

} // namespace

std::optional<ServiceData> parseServiceData(const std::string& content, const std::string& dataDir, std::string* error)
{
    try {
        const json doc = json::parse(content);
        ServiceData data;
        data.dataDir = dataDir;
        std::set<std::string> names, sns, ips;
        for (const auto& a : doc.at("accounts")) {
            data.accounts.push_back(readAccount(a));
            if (!names.insert(data.accounts.back().username).second)
                throw std::runtime_error("account " + data.accounts.back().username + " is listed twice");
        }
        for (const auto& c : doc.value("areas", json::array())) {
            Country country { text(c, "code"), text(c, "name"), {} };
            for (const auto& s : c.value("state_list", json::array())) {
                State state { text(s, "code"), text(s, "name"), {} };
                for (const auto& ci : s.value("city_list", json::array()))
                    state.cities.push_back({ text(ci, "code"), text(ci, "name") });
                country.states.push_back(std::move(state));
            }
            data.areas.push_back(std::move(country));
        }
        for (const auto& l : doc.at("lines")) {
            data.lines.push_back(readLine(l));
            const Line& line = data.lines.back();
            if (!sns.insert(line.sn).second || !ips.insert(line.ip).second)
                throw std::runtime_error("line " + std::to_string(line.id) + ": sn or ip is not unique");
        }
        for (const auto& p : doc.value("packages", json::array()))
            data.packages.push_back({ int(number(p, "num")), text(p, "limit_sale_price"), text(p, "money") });
        if (auto u = doc.find("update"); u != doc.end() && !u->is_null()) {
            UpdateOffer offer;
            offer.version = int(number(*u, "version"));
            offer.showVersion = text(*u, "show_version");
            offer.desc = text(*u, "desc");
            offer.forceUpdate = text(*u, "force_update");
            offer.file = text(*u, "file");
            offer.downloadName = text(*u, "download_name");
            if (offer.downloadName.empty() || offer.downloadName.find('/') != std::string::npos)
                throw std::runtime_error("update: \"download_name\" must be a plain file name");
            data.update = offer;
        }
        if (auto c = doc.find("config"); c != doc.end() && c->is_object())
            data.config = *c;
        return data;
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return std::nullopt;
    }
}

std::optional<ServiceData> loadServiceData(const std::string& path, std::string* error)
{
    std::string content;
    if (!peers::readFile(path, content, error))
        return std::nullopt;
    const auto slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    auto data = parseServiceData(content, dir, error);
    if (!data && error)
        *error = path + ": " + *error;
    return data;
}

} // namespace zq::service
