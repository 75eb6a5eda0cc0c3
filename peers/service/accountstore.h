#pragma once
// Everything the service remembers per account: sessions, balances, today lists, favourites,
// dislikes and the bindings the exit node accepts. Thread-safe; optionally kept in a state file.

#include "catalogue.h"
#include "clock.h"
#include "servicedata.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace zq::service {

// Today entries and bindings live for one day.
inline constexpr std::int64_t kDaySeconds = 86400;
// A login never ends other sessions; only the oldest beyond this many are forgotten.
inline constexpr std::size_t kMaxSessionsPerAccount = 256;

struct TodayEntry {
    std::string sn; // plain
    Plan plan = Plan::S5;
    std::int64_t bindTime = 0;
    std::string sessionId;
    int port = 0;
    std::string bindType; // "Manual" or "API"
};

struct Favourite {
    std::string ip;
    Plan plan = Plan::S5;
    std::string remarks;
    std::string area;
    std::int64_t addedAt = 0;
};

struct BindRequest {
    const Line* line = nullptr;
    std::string sessionId;
    int port = 0;
    bool charge = false;
    std::string bindType;
};

struct Outcome {
    int code = 0; // 0 on success, an error code of envelope.h otherwise
    std::string msg;
    bool ok() const { return code == 0; }
};

struct LoginOutcome : Outcome {
    std::string sessionId;
    std::string token;
    AccountSeed info;
};

// What the exit node needs for one accepted client.
struct ExitAccess {
    std::string bindIp;
    std::function<void(std::uint64_t)> countBytes; // empty for lines not billed by traffic
};

class AccountStore {
public:
    AccountStore(const ServiceData& data, const Catalogue& catalogue);
    ~AccountStore();

    enum class LoadResult { Missing, Loaded, Damaged };
    // Reads the state file; a damaged file is moved aside (detail names where) and not loaded.
    LoadResult load(const std::string& path, std::string* detail);
    // Writes the state after every change from now on (no-op without a path).
    void setStatePath(const std::string& path);
    bool save(std::string* error = nullptr);
    // Background writer for changes that come too often to write each (relayed bytes).
    void startFlusher();
    void stopFlusher();

    LoginOutcome login(const std::string& username, const std::string& password);
    bool logout(const std::string& sessionId);
    // Account name of a live session.
    std::optional<std::string> accountForSession(const std::string& sessionId) const;
    std::optional<AccountSeed> account(const std::string& username) const;

    // Registers a binding of the line and charges the account; on success ipNumsLeft is set.
    Outcome bind(const std::string& username, const BindRequest& request, int* ipNumsLeft);
    bool unbind(const std::string& username, const std::string& sessionId, const std::string& sn);

    std::vector<TodayEntry> today(const std::string& username, Plan plan) const;
    std::vector<std::pair<Favourite, std::optional<TodayEntry>>> favourites(
        const std::string& username, Plan plan) const;
    // 1 added, 0 already a favourite.
    int addFavourite(const std::string& username, const Line& line, const std::string& area);
    bool setRemark(const std::string& username, const std::string& ip, Plan plan, const std::string& remarks);
    // Removes the favourite and remembers the dislike; false when the line was not a favourite.
    bool dislike(const std::string& username, const Line& line);
    std::set<std::string> dislikes(const std::string& username) const;

    // username = decoded sn, password = the binding's session id.
    std::optional<ExitAccess> authorizeExit(const std::string& sn, const std::string& sessionId);
    void chargeBytes(const std::string& username, std::uint64_t bytes);

private:
    struct Binding {
        std::string username;
        std::string sn;
        std::string sessionId;
        Plan plan = Plan::S5;
        std::string ip;
        std::int64_t bindTime = 0;
        int port = 0;
    };
    struct AccountState {
        AccountSeed info;
        std::vector<std::string> sessions; // oldest first
        std::map<std::string, TodayEntry> today; // by sn
        std::map<std::string, Favourite> favourites; // by ip
        std::set<std::string> dislikes; // ip
    };

    nlohmann::json toJsonLocked() const;
    void fromJson(const nlohmann::json& doc);
    void pruneLocked(std::int64_t now);
    // Writes a snapshot taken under m_mutex; callers hold no lock.
    bool writeSnapshot(std::uint64_t generation, const std::string& text, std::string* error);
    void persist();

    const Catalogue& m_catalogue;
    mutable std::mutex m_mutex;
    std::map<std::string, AccountState> m_accounts;
    std::map<std::string, std::string> m_sessions; // session id -> account
    std::map<std::pair<std::string, std::string>, Binding> m_bindings; // (sn, session id)
    nlohmann::json m_orphans = nlohmann::json::object(); // state of accounts no longer in the data file
    std::uint64_t m_generation = 0; // bumped by every change

    std::mutex m_fileMutex;
    std::string m_statePath;
    std::uint64_t m_written = 0;

    std::mutex m_flushMutex;
    std::condition_variable m_flushWake;
    bool m_flushStop = false;
    bool m_dirty = false;
    std::thread m_flusher;
};

} // namespace zq::service
