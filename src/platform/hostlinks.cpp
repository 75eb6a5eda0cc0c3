#include "hostlinks.h"

namespace zq::platform {

namespace {

enum class Site { Web, Company, Channel };

struct PageLink {
    const char* key;
    Site site;
    const char* path;
    bool autoLogin;
};

const PageLink kPages[] = {
    { "url_register", Site::Web, "reg/", false },
    { "url_offical_ZQS5", Site::Web, "", true },
    { "url_recharge_S5", Site::Web, "ips/", true },
    { "url_recharge_ResidentTraffic", Site::Company, "residential/", true },
    { "url_guide_api", Site::Web, "api_guide/", true },
    { "url_guide_proxy", Site::Web, "user_guide/", true },
    { "url_faq", Site::Web, "faq/", true },
    { "url_countryCode", Site::Web, "area/", true },
    { "url_telegram", Site::Channel, "", false },
};

} // namespace

QString jumpUrl(const QString& key, const QString& webBase, const QString& companyBase, const QString& channelLink,
    const QString& token)
{
    for (const PageLink& page : kPages) {
        if (key != QLatin1String(page.key))
            continue;
        QString link = page.site == Site::Web ? webBase : page.site == Site::Company ? companyBase : channelLink;
        link += QLatin1String(page.path);
        if (page.autoLogin)
            link += QStringLiteral("?autologin=") + token;
        return link;
    }
    return QStringLiteral("No such URL!");
}

} // namespace zq::platform
