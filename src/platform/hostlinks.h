#pragma once
// Links to the service's web pages (registration, recharge, guides, FAQ, messaging channel).

#include <QString>

namespace zq::platform {

// The page link for key, built from the product website base, the company website base (both
// ending in "/") and the messaging channel link; pages of the signed-in account carry
// "?autologin=" and token. An unknown key gives the text "No such URL!".
QString jumpUrl(const QString& key, const QString& webBase, const QString& companyBase, const QString& channelLink,
    const QString& token);

} // namespace zq::platform
