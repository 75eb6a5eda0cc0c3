#pragma once
// What the service sells and who may use it: accounts, areas, lines, packages, the update offer.
// Loaded once from the data file; immutable afterwards except for the lines' exit address.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zq::service {

enum class Plan { S5, Unlimit, Flow };

// Plan word on the wire: "S5" (or none), "unlimit", "flow".
const char* planWord(Plan plan);
// "", "S5" -> S5; "unlimit"; "flow"; anything else -> nullopt.
std::optional<Plan> planFromWord(const std::string& word);

struct Line {
    int id = 0;
    Plan plan = Plan::S5;
    std::string sn; // plain server number; replies carry it encoded
    std::string ip; // exit IP
    std::uint32_t ipValue = 0;
    std::string server; // host:port of the exit node
    std::string iso;
    std::string country;
    std::string state;
    std::string city;
    std::string postal;
    std::string isp;
    std::string asn; // "AS7922"
    std::string region;
    std::string status; // "Online" or "Offline"
    std::string planTypeKey; // unlimited and residential lines
};

struct City {
    std::string code;
    std::string name;
};

struct State {
    std::string code;
    std::string name;
    std::vector<City> cities;
};

struct Country {
    std::string code;
    std::string name;
    std::vector<State> states;
};

struct Package {
    int num = 0;
    std::string salePrice; // texts, as the client reads them
    std::string money;
};

struct UpdateOffer {
    int version = 0; // compared with the client's "version"
    std::string showVersion;
    std::string desc;
    std::string forceUpdate; // "true" or "false"
    std::string file; // installer, relative to the data file's folder
    std::string downloadName; // name in the download URL
};

struct AccountSeed {
    int uid = 0;
    std::string username;
    std::string password;
    std::string email;
    std::string server;
    int ipNums = 0;
    std::int64_t expireTime = 0; // unlimited plan, Unix seconds; 0 = none
    std::int64_t flowBalance = 0; // residential traffic, bytes
    std::int64_t flowAllBuy = 0;
    std::int64_t flowExpire = 0;
};

struct ServiceData {
    std::vector<AccountSeed> accounts;
    std::vector<Country> areas;
    std::vector<Line> lines;
    std::vector<Package> packages;
    std::optional<UpdateOffer> update;
    nlohmann::json config = nlohmann::json::object();
    std::string dataDir; // folder of the data file
};

// nullopt and a reason when the file is unreadable or malformed.
std::optional<ServiceData> loadServiceData(const std::string& path, std::string* error);
std::optional<ServiceData> parseServiceData(const std::string& text, const std::string& dataDir, std::string* error);

// Dotted IPv4 to a number; nullopt for anything else.
std::optional<std::uint32_t> parseIpv4(const std::string& text);

} // namespace zq::service
