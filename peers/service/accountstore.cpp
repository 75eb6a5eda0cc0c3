#include "accountstore.h"

#include "atomicfile.h"
#include "envelope.h"

#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace zq::service {

using nlohmann::json;
using peers::kNotFound;
using peers::kNotLoggedIn;
using peers::kRefused;

namespace {

std::string randomHex(std::size_t bytes)
{
    std::string raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), int(bytes)) != 1)
        throw std::runtime_error("no random bytes");
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

Plan planField(const json& obj, const char* key)
{
    const auto plan = planFromWord(obj.at(key).get<std::string>());
    if (!plan)
        throw std::runtime_error("unknown plan in state file");
    return *plan;
}

} // namespace

AccountStore::AccountStore(const ServiceData& data, const Catalogue& catalogue)
    : m_catalogue(catalogue)
{
    for (const auto& seed : data.accounts)
        m_accounts[seed.username].info = seed;
}

AccountStore::~AccountStore()
{
    stopFlusher();
}

// ---- persistence ----

json AccountStore::toJsonLocked() const
{
    json accounts = m_orphans;
    for (const auto& [name, a] : m_accounts) {
        json today = json::array();
        for (const auto& [sn, t] : a.today)
            today.push_back({ { "sn", t.sn }, { "plan", planWord(t.plan) }, { "bind_time", t.bindTime },
                { "session_id", t.sessionId }, { "port", t.port }, { "bind_type", t.bindType } });
        json favourites = json::array();
        for (const auto& [ip, f] : a.favourites)
            favourites.push_back({ { "ip", f.ip }, { "plan", planWord(f.plan) }, { "remarks", f.remarks },
                { "area", f.area }, { "added_at", f.addedAt } });
        accounts[name] = { { "ip_nums", a.info.ipNums }, { "expire_time", a.info.expireTime },
            { "flow",
                { { "balance", a.info.flowBalance }, { "all_buy", a.info.flowAllBuy },
                    { "expire_time", a.info.flowExpire } } },
            { "sessions", a.sessions }, { "today", today }, { "favourites", favourites }, { "dislikes", a.dislikes } };
    }
    json bindings = json::array();
    for (const auto& [key, b] : m_bindings)
        bindings.push_back({ { "username", b.username }, { "sn", b.sn }, { "session_id", b.sessionId },
            { "plan", planWord(b.plan) }, { "ip", b.ip }, { "bind_time", b.bindTime }, { "port", b.port } });
    return { { "version", 1 }, { "accounts", accounts }, { "bindings", bindings } };
}

void AccountStore::fromJson(const json& doc)
{
    if (doc.at("version").get<int>() != 1)
        throw std::runtime_error("unsupported state version");
    // Parse everything first so that a bad file changes nothing.
    auto accounts = m_accounts;
    json orphans = json::object();
    std::map<std::string, std::string> sessions;
    for (const auto& [name, s] : doc.at("accounts").items()) {
        auto it = accounts.find(name);
        if (it == accounts.end()) {
            orphans[name] = s;
            continue;
        }
        AccountState& a = it->second;
        a.info.ipNums = s.at("ip_nums").get<int>();
        a.info.expireTime = s.at("expire_time").get<std::int64_t>();
        const json& flow = s.at("flow");
        a.info.flowBalance = flow.at("balance").get<std::int64_t>();
        a.info.flowAllBuy = flow.at("all_buy").get<std::int64_t>();
        a.info.flowExpire = flow.at("expire_time").get<std::int64_t>();
        a.sessions = s.at("sessions").get<std::vector<std::string>>();
        for (const auto& id : a.sessions)
            sessions[id] = name;
        a.today.clear();
        for (const auto& t : s.at("today")) {
            TodayEntry e { t.at("sn").get<std::string>(), planField(t, "plan"), t.at("bind_time").get<std::int64_t>(),
                t.at("session_id").get<std::string>(), t.at("port").get<int>(), t.at("bind_type").get<std::string>() };
            a.today[e.sn] = e;
        }
        a.favourites.clear();
        for (const auto& f : s.at("favourites")) {
            Favourite fav { f.at("ip").get<std::string>(), planField(f, "plan"), f.at("remarks").get<std::string>(),
                f.at("area").get<std::string>(), f.at("added_at").get<std::int64_t>() };
            a.favourites[fav.ip] = fav;
        }
        a.dislikes = s.at("dislikes").get<std::set<std::string>>();
    }
    std::map<std::pair<std::string, std::string>, Binding> bindings;
    for (const auto& b : doc.at("bindings")) {
        Binding bind { b.at("username").get<std::string>(), b.at("sn").get<std::string>(),
            b.at("session_id").get<std::string>(), planField(b, "plan"), b.at("ip").get<std::string>(),
            b.at("bind_time").get<std::int64_t>(), b.at("port").get<int>() };
        if (accounts.count(bind.username))
            bindings[{ bind.sn, bind.sessionId }] = bind;
    }
    m_accounts = std::move(accounts);
    m_orphans = std::move(orphans);
    m_sessions = std::move(sessions);
    m_bindings = std::move(bindings);
}

AccountStore::LoadResult AccountStore::load(const std::string& path, std::string* detail)
{
    std::string content;
    if (!peers::readFile(path, content))
        return LoadResult::Missing;
    try {
        const json doc = json::parse(content);
        std::lock_guard lock(m_mutex);
        fromJson(doc);
        pruneLocked(nowSeconds());
        return LoadResult::Loaded;
    } catch (const std::exception& e) {
        // Keep the damaged file for inspection; the service goes on from the data file.
        const std::string aside = path + ".damaged-" + std::to_string(nowSeconds());
        std::string why = e.what();
        if (std::rename(path.c_str(), aside.c_str()) == 0) {
            if (detail)
                *detail = "state file " + path + " is damaged (" + why + "); moved it to " + aside
                    + " and started from the data file";
        } else if (detail) {
            *detail = "state file " + path + " is damaged (" + why + ") and could not be moved aside";
        }
        return LoadResult::Damaged;
    }
}

void AccountStore::setStatePath(const std::string& path)
{
    std::lock_guard lock(m_fileMutex);
    m_statePath = path;
}

bool AccountStore::writeSnapshot(std::uint64_t generation, const std::string& text, std::string* error)
{
    // Caller holds m_fileMutex.
    if (!peers::writeFileAtomic(m_statePath, text, error))
        return false;
    m_written = generation;
    return true;
}

bool AccountStore::save(std::string* error)
{
    std::lock_guard fileLock(m_fileMutex);
    if (m_statePath.empty())
        return true;
    std::string text;
    std::uint64_t generation;
    {
        std::lock_guard lock(m_mutex);
        generation = m_generation;
        text = toJsonLocked().dump(1);
    }
    return writeSnapshot(generation, text, error);
}

void AccountStore::persist()
{
    std::uint64_t wanted;
    {
        std::lock_guard lock(m_mutex);
        wanted = m_generation;
    }
    std::lock_guard fileLock(m_fileMutex);
    // A writer that ran while we waited has already written our change.
    if (m_statePath.empty() || m_written >= wanted)
        return;
    std::string text;
    std::uint64_t generation;
    {
        std::lock_guard lock(m_mutex);
        generation = m_generation;
        text = toJsonLocked().dump(1);
    }
    std::string error;
    if (!writeSnapshot(generation, text, &error))
        std::cerr << "zq-service: cannot save state: " << error << std::endl;
}

void AccountStore::startFlusher()
{
    m_flusher = std::thread([this] {
        std::unique_lock lock(m_flushMutex);
        while (!m_flushStop) {
            m_flushWake.wait_for(lock, std::chrono::seconds(1));
            if (m_dirty) {
                m_dirty = false;
                lock.unlock();
                persist();
                lock.lock();
            }
        }
    });
}

void AccountStore::stopFlusher()
{
    {
        std::lock_guard lock(m_flushMutex);
        m_flushStop = true;
    }
    m_flushWake.notify_all();
    if (m_flusher.joinable())
        m_flusher.join();
}

void AccountStore::pruneLocked(std::int64_t now)
{
    for (auto& [name, a] : m_accounts)
        for (auto it = a.today.begin(); it != a.today.end();)
            it = now - it->second.bindTime >= kDaySeconds ? a.today.erase(it) : std::next(it);
    for (auto it = m_bindings.begin(); it != m_bindings.end();)
        it = now - it->second.bindTime >= kDaySeconds ? m_bindings.erase(it) : std::next(it);
}

// ---- sessions ----

LoginOutcome AccountStore::login(const std::string& username, const std::string& password)
{
    LoginOutcome out;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_accounts.find(username);
        if (it == m_accounts.end()) {
            out.code = kNotFound;
            out.msg = "This user does not exist";
            return out;
        }
        AccountState& a = it->second;
        if (a.info.password != password) {
            out.code = kNotLoggedIn;
            out.msg = "Username or password is incorrect";
            return out;
        }
        out.sessionId = randomHex(16);
        out.token = randomHex(16);
        a.sessions.push_back(out.sessionId);
        m_sessions[out.sessionId] = username;
        while (a.sessions.size() > kMaxSessionsPerAccount) {
            m_sessions.erase(a.sessions.front());
            a.sessions.erase(a.sessions.begin());
        }
        out.info = a.info;
        out.msg = "success";
        ++m_generation;
    }
    persist();
    return out;
}

bool AccountStore::logout(const std::string& sessionId)
{
    {
        std::lock_guard lock(m_mutex);
        auto it = m_sessions.find(sessionId);
        if (it == m_sessions.end())
            return false;
        auto& sessions = m_accounts[it->second].sessions;
        sessions.erase(std::remove(sessions.begin(), sessions.end(), sessionId), sessions.end());
        m_sessions.erase(it);
        ++m_generation;
    }
    persist();
    return true;
}

std::optional<std::string> AccountStore::accountForSession(const std::string& sessionId) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_sessions.find(sessionId);
    if (it == m_sessions.end())
        return std::nullopt;
    return it->second;
}

std::optional<AccountSeed> AccountStore::account(const std::string& username) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_accounts.find(username);
    if (it == m_accounts.end())
        return std::nullopt;
    return it->second.info;
}

// ---- bindings ----

Outcome AccountStore::bind(const std::string& username, const BindRequest& request, int* ipNumsLeft)
{
    const Line& line = *request.line;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_accounts.find(username);
        if (it == m_accounts.end())
            return { kNotLoggedIn, "unknown account" };
        AccountState& a = it->second;
        const std::int64_t now = nowSeconds();
        pruneLocked(now);
        switch (line.plan) {
        case Plan::S5:
            if (request.charge && a.info.ipNums < 1)
                return { kRefused, "No IPs left on this account, please buy more" };
            if (request.charge)
                --a.info.ipNums;
            break;
        case Plan::Unlimit:
            if (a.info.expireTime <= now)
                return { kRefused, "The unlimited plan has expired, please recharge" };
            break;
        case Plan::Flow:
            if (a.info.flowBalance <= 0)
                return { kRefused, "Residential traffic is exhausted, please buy more" };
            break;
        }
        a.today[line.sn] = { line.sn, line.plan, now, request.sessionId, request.port, request.bindType };
        m_bindings[{ line.sn, request.sessionId }]
            = { username, line.sn, request.sessionId, line.plan, line.ip, now, request.port };
        if (ipNumsLeft)
            *ipNumsLeft = a.info.ipNums;
        ++m_generation;
    }
    persist();
    return { 0, "success" };
}

bool AccountStore::unbind(const std::string& username, const std::string& sessionId, const std::string& sn)
{
    {
        std::lock_guard lock(m_mutex);
        auto it = m_bindings.find({ sn, sessionId });
        if (it == m_bindings.end() || it->second.username != username)
            return false;
        m_bindings.erase(it);
        ++m_generation;
    }
    persist();
    return true;
}

std::vector<TodayEntry> AccountStore::today(const std::string& username, Plan plan) const
{
    std::vector<TodayEntry> out;
    std::lock_guard lock(m_mutex);
    auto it = m_accounts.find(username);
    if (it == m_accounts.end())
        return out;
    const std::int64_t now = nowSeconds();
    for (const auto& [sn, t] : it->second.today)
        if (t.plan == plan && now - t.bindTime < kDaySeconds)
            out.push_back(t);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.bindTime > b.bindTime; });
    return out;
}

// ---- favourites ----

std::vector<std::pair<Favourite, std::optional<TodayEntry>>> AccountStore::favourites(
    const std::string& username, Plan plan) const
{
    std::vector<std::pair<Favourite, std::optional<TodayEntry>>> out;
    std::lock_guard lock(m_mutex);
    auto it = m_accounts.find(username);
    if (it == m_accounts.end())
        return out;
    const std::int64_t now = nowSeconds();
    for (const auto& [ip, f] : it->second.favourites) {
        if (f.plan != plan)
            continue;
        std::optional<TodayEntry> today;
        if (const Line* line = m_catalogue.byIp(ip)) {
            auto t = it->second.today.find(line->sn);
            if (t != it->second.today.end() && now - t->second.bindTime < kDaySeconds)
                today = t->second;
        }
        out.emplace_back(f, today);
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first.addedAt < b.first.addedAt; });
    return out;
}

int AccountStore::addFavourite(const std::string& username, const Line& line, const std::string& area)
{
    {
        std::lock_guard lock(m_mutex);
        AccountState& a = m_accounts.at(username);
        if (a.favourites.count(line.ip))
            return 0;
        a.favourites[line.ip] = { line.ip, line.plan, {}, area, nowSeconds() };
        a.dislikes.erase(line.ip);
        ++m_generation;
    }
    persist();
    return 1;
}

bool AccountStore::setRemark(const std::string& username, const std::string& ip, Plan plan, const std::string& remarks)
{
    {
        std::lock_guard lock(m_mutex);
        AccountState& a = m_accounts.at(username);
        auto it = a.favourites.find(ip);
        if (it == a.favourites.end() || it->second.plan != plan)
            return false;
        it->second.remarks = remarks;
        ++m_generation;
    }
    persist();
    return true;
}

bool AccountStore::dislike(const std::string& username, const Line& line)
{
    bool wasFavourite;
    {
        std::lock_guard lock(m_mutex);
        AccountState& a = m_accounts.at(username);
        wasFavourite = a.favourites.erase(line.ip) > 0;
        a.dislikes.insert(line.ip);
        ++m_generation;
    }
    persist();
    return wasFavourite;
}

std::set<std::string> AccountStore::dislikes(const std::string& username) const
{
    std::lock_guard lock(m_mutex);
    auto it = m_accounts.find(username);
    return it == m_accounts.end() ? std::set<std::string> {} : it->second.dislikes;
}

// ---- exit node ----

std::optional<ExitAccess> AccountStore::authorizeExit(const std::string& sn, const std::string& sessionId)
{
    std::lock_guard lock(m_mutex);
    auto it = m_bindings.find({ sn, sessionId });
    if (it == m_bindings.end())
        return std::nullopt;
    const Binding& b = it->second;
    const std::int64_t now = nowSeconds();
    if (now - b.bindTime >= kDaySeconds)
        return std::nullopt;
    auto acc = m_accounts.find(b.username);
    if (acc == m_accounts.end())
        return std::nullopt;
    ExitAccess access { b.ip, {} };
    switch (b.plan) {
    case Plan::S5:
        break;
    case Plan::Unlimit:
        if (acc->second.info.expireTime <= now)
            return std::nullopt;
        break;
    case Plan::Flow:
        if (acc->second.info.flowBalance <= 0)
            return std::nullopt;
        access.countBytes = [this, user = b.username](std::uint64_t bytes) { chargeBytes(user, bytes); };
        break;
    }
    return access;
}

void AccountStore::chargeBytes(const std::string& username, std::uint64_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        auto it = m_accounts.find(username);
        if (it == m_accounts.end() || bytes == 0)
            return;
        it->second.info.flowBalance -= std::int64_t(bytes);
        ++m_generation;
    }
    // Relayed bytes arrive often; the flusher writes them at most once a second.
    {
        std::lock_guard lock(m_flushMutex);
        m_dirty = true;
    }
}

} // namespace zq::service
