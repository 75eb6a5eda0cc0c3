#pragma once
// Service addresses and the endpoint paths every request is built from.

#include <QString>

namespace zq {

enum class Base { Account, Resource, Local };

struct Endpoint {
    const char* path;
    Base base;
};

namespace ep {
inline constexpr Endpoint Login { "/api/socks/login", Base::Account };
inline constexpr Endpoint Logout { "/api/socks/logout", Base::Account };
inline constexpr Endpoint Config { "/api/socks/config", Base::Account };
inline constexpr Endpoint CheckUpdate { "/api/client/socks_qt_check_update", Base::Account };
inline constexpr Endpoint CheckIp { "/api/check/ip", Base::Account };
inline constexpr Endpoint CheckProxy { "/api/checkProxy", Base::Account };
inline constexpr Endpoint GetIp { "/api/socks/get_ip", Base::Account };
inline constexpr Endpoint LimitInfo { "/api/limitInfo", Base::Account };
inline constexpr Endpoint UserFlow { "/api/userflow", Base::Account };
inline constexpr Endpoint IpsPackage { "/api/get_ips_package", Base::Account };
inline constexpr Endpoint TodayList { "/api/todayList/getInfo", Base::Account };
inline constexpr Endpoint FavouriteInfo { "/api/todayList/getFavouriteInfo", Base::Account };
inline constexpr Endpoint FavouriteAdd { "/api/favouriteList/test", Base::Account };
inline constexpr Endpoint FavouriteRemark { "/api/favouriteList/remark", Base::Account };
inline constexpr Endpoint FavouriteDislike { "/api/favouriteList/dislike", Base::Account };
inline constexpr Endpoint LineList { "/api/get_line_list", Base::Resource };
inline constexpr Endpoint UnlimitLineList { "/unlimit/get_unlimit_list", Base::Resource };
inline constexpr Endpoint AreaList { "/api/get_area_list", Base::Resource };
inline constexpr Endpoint SnIsExist { "/api/sn_is_exist", Base::Resource };
inline constexpr Endpoint SetPortSession { "/api/set_port_session", Base::Local };
inline constexpr Endpoint DelPortSession { "/api/del_port_session", Base::Local };
inline constexpr Endpoint FreedProxyPort { "/api/freed_proxy_port", Base::Local };
inline constexpr Endpoint ResetPort { "/api/reset_port", Base::Local };
inline constexpr Endpoint ServerStatus { "/api/get_server_status", Base::Local };
inline constexpr Endpoint CheckApiPort { "/api/checkApiPort", Base::Local };
inline constexpr Endpoint CheckPortStatus { "/api/check_port_status", Base::Local };
inline constexpr Endpoint HelperTodayList { "/ip/get_todaylist", Base::Local };
} // namespace ep

// The three base addresses. Account and resource bases come from the build and can be
// overridden at run time by ZQ_ACCOUNT_BASE and ZQ_RESOURCE_BASE.
class ServiceAddresses {
public:
    ServiceAddresses();

    QString base(Base which) const;
    QString url(const Endpoint& endpoint) const { return base(endpoint.base) + QLatin1String(endpoint.path); }

    QString accountBase() const { return m_account; }
    QString resourceBase() const { return m_resource; }
    QString localBase() const { return m_local; }
    // The helper's API moves with its port.
    void setLocalPort(int port);
    void setAccountBase(const QString& base) { m_account = base; }
    void setResourceBase(const QString& base) { m_resource = base; }

private:
    QString m_account;
    QString m_resource;
    QString m_local;
};

} // namespace zq
