#include "upkeep.h"

#include "clock.h"
#include "constants.h"
#include "endpoints.h"
#include "portbindings.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QDebug>
#include <QJsonArray>

namespace zq::ports {

using zq::catalogue::Plan;
using zq::lists::Kind;

Upkeep::Upkeep(PortTable* ports, zq::lists::SavedLists* lists, PortBindings* bindings,
    const zq::ServiceAddresses* addresses, QObject* parent)
    : QObject(parent)
    , m_ports(ports)
    , m_lists(lists)
    , m_bindings(bindings)
    , m_addresses(addresses)
{
}

// ---- the local event pass ----

void Upkeep::doLocalEvent()
{
    const qint64 now = zq::clock::now();
    const qint64 expiry = qint64(UserInfo::instance()->getExpireUTC());
    expireSlots(now, expiry);
    qDebug() << "proxyTodayServerInfoList.size()" << m_lists->list(Kind::Today, Plan::S5).size();
    releaseOutOfRange(now, expiry);
    m_ports->refreshPortUsability();
}

void Upkeep::expireSlots(qint64 now, qint64 expiry)
{
    const bool accountExpired = now > expiry;
    for (PortInfo* slot : m_ports->list()) {
        if (!slot->getUsed())
            continue;
        const QString plan = slot->getPlanType();
        const qint64 operated = now - qint64(slot->getOperateTime());
        auto* line = qobject_cast<ProxyServerInfo*>(slot->getLineInfo());
        if (line) {
            const qint64 bound = now - line->getBindTime();
            bool runOut = false;
            if (plan == zq::kPlanS5)
                runOut = bound > zq::kSixHours && operated > zq::kSixHours;
            else if (plan == zq::kPlanS5Unlimited)
                runOut = (bound > zq::kOneDay && operated > zq::kOneDay) || accountExpired;
            else if (plan == zq::kPlanResiTraffic)
                runOut = bound > zq::kOneDay && operated > zq::kOneDay;
            if (!runOut || line->getIsExpired())
                continue;
            qDebug() << "free port" << plan << slot->getPort() << line->getBindTime() << expiry;
            m_bindings->freeOneProxyPort(slot->getPort());
            slot->clear();
            line->setBindPort(0);
            line->setBindTime(0);
            line->setIsExpired(true);
            continue;
        }
        bool runOut = false;
        if (plan == zq::kPlanS5 || plan == zq::kPlanResiTraffic)
            runOut = operated > zq::kSixHours;
        else if (plan == zq::kPlanS5Unlimited)
            runOut = operated > zq::kOneDay || accountExpired;
        if (!runOut)
            continue;
        qDebug() << "free port with no psinfo" << plan << slot->getPort() << slot->getOperateTime() << expiry;
        slot->setUsed(false);
        slot->setPlanType(QString());
    }
}

void Upkeep::releaseOutOfRange(qint64 now, qint64 expiry)
{
    const bool accountExpired = now > expiry;
    // Release at the helper and forget the port; `expire` also marks the line run out.
    auto release = [this](ProxyServerInfo* line, bool expire) {
        m_bindings->freeOneProxyPort(line->getBindPort());
        line->setBindPort(0);
        line->setBindTime(0);
        if (expire)
            line->setIsExpired(true);
    };
    auto lines = [this](Kind kind, Plan plan) {
        QList<ProxyServerInfo*> out;
        for (QObject* object : m_lists->list(kind, plan)) {
            if (auto* line = qobject_cast<ProxyServerInfo*>(object))
                out.append(line);
        }
        return out;
    };

    for (ProxyServerInfo* line : lines(Kind::Today, Plan::S5)) {
        if (line->getIsExpired() || now - line->getBindTime() <= zq::kSixHours || m_ports->inRange(line->getBindPort()))
            continue;
        qDebug() << "free proxyTodayServerInfoList port not in portlist range" << line->getBindTime()
                 << line->getBindPort();
        release(line, true);
    }
    for (ProxyServerInfo* line : lines(Kind::Today, Plan::Unlimited)) {
        if (line->getIsExpired() || !accountExpired || m_ports->inRange(line->getBindPort()))
            continue;
        qDebug() << "free proxyTodayUnlimtSerList port not in portlist range" << line->getBindTime()
                 << line->getBindPort();
        release(line, true);
    }
    for (ProxyServerInfo* line : lines(Kind::Today, Plan::ResiTraffic)) {
        if (line->getIsExpired() || now - line->getBindTime() <= zq::kOneDay || m_ports->inRange(line->getBindPort()))
            continue;
        qDebug() << "free proxyTodayServerInfoList port not in portlist range" << line->getBindTime()
                 << line->getBindPort();
        release(line, false);
    }
    for (ProxyServerInfo* line : lines(Kind::Favourite, Plan::S5)) {
        if (line->getIsFromOtherDevice())
            line->setIsExpired(true);
        if (line->getIsExpired())
            continue;
        if (now - line->getBindTime() > zq::kSixHours && !m_ports->inRange(line->getBindPort())) {
            qDebug() << "free proxyFavouriteInfoList port not in portlist range" << line->getBindTime()
                     << line->getBindPort();
            release(line, true);
        }
        if (now - line->getBindTime() > zq::kOneDay) {
            qDebug() << "over 24 hour, del proxyFavouriteInfoList port!!" << now << line->getBindTime()
                     << line->getBindPort();
            release(line, true);
        }
    }
    for (ProxyServerInfo* line : lines(Kind::Favourite, Plan::Unlimited)) {
        if (line->getIsFromOtherDevice())
            line->setIsExpired(true);
        if (line->getIsExpired())
            continue;
        if (expiry != 0 && accountExpired && !m_ports->inRange(line->getBindPort())) {
            qDebug() << "free proxyFavouriteUnlimitInfoList port not in portlist range" << line->getBindTime()
                     << line->getBindPort();
            release(line, true);
        }
        if (now - line->getBindTime() > zq::kOneDay) {
            qDebug() << "over 24 hour, del proxyFavouriteUnlimitInfoList port!!" << now << line->getBindTime()
                     << line->getBindPort();
            release(line, true);
        }
    }
    for (ProxyServerInfo* line : lines(Kind::Favourite, Plan::ResiTraffic)) {
        if (now - line->getBindTime() <= zq::kOneDay)
            continue;
        qDebug() << "over 24 hour, del proxyFavouriteResiInfoList port!!" << now << line->getBindTime()
                 << line->getBindPort();
        release(line, false);
    }
}

// ---- reconciliation with the helper ----

void Upkeep::compareIpAndPortState()
{
    if (m_post)
        m_post(m_addresses->url(ep::CheckApiPort), {}, QString());
}

void Upkeep::dealCompareIpAndPortState(const QJsonObject& reply)
{
    qDebug() << "Compare port and ip：->" << reply;
    struct Source {
        Kind kind;
        Plan plan;
        const QString& word;
    };
    const Source sources[] = { { Kind::Today, Plan::S5, zq::kPlanS5 },
        { Kind::Today, Plan::ResiTraffic, zq::kPlanResiTraffic }, { Kind::Favourite, Plan::S5, zq::kPlanS5 },
        { Kind::Favourite, Plan::ResiTraffic, zq::kPlanResiTraffic } };

    for (const QJsonValue& value : reply.value(QLatin1String("data")).toArray()) {
        const QJsonObject element = value.toObject();
        const QString ipH = element.value(QLatin1String("ip")).toString();
        const int portH = element.value(QLatin1String("port")).toInt();
        const bool ok = element.value(QLatin1String("status")).toString() == QLatin1String("success")
            && element.value(QLatin1String("msg")).toString() == QLatin1String("success");
        if (!ok)
            qDebug() << "Local proxy: Bind failed.  IP and Port: " << ipH << portH;
        for (const Source& source : sources) {
            for (QObject* object : m_lists->list(source.kind, source.plan)) {
                auto* line = qobject_cast<ProxyServerInfo*>(object);
                if (!line)
                    continue;
                if (!ok) {
                    if (line->getBindPort() != portH && line->getIp() != ipH)
                        continue;
                    line->setBindPort(0);
                    if (PortInfo* slot = m_ports->slotFor(portH))
                        slot->clear();
                    continue;
                }
                const bool sameIp = line->getIp() == ipH;
                const bool samePort = line->getBindPort() == portH;
                if (sameIp && samePort) {
                    qDebug() << ipH << portH << "Bind success and the relationship of IP and port is correct.";
                } else if (sameIp) {
                    qDebug() << "IP same but port wrong.";
                    qDebug() << "Local proxy actual bind relationship:" << ipH << portH;
                    qDebug() << "Bind relationship UI show:" << line->getIp() << line->getBindPort();
                    const int oldPort = line->getBindPort();
                    line->setBindPort(portH);
                    for (PortInfo* slot : m_ports->list()) {
                        if (slot->getPort() == portH) {
                            slot->setUsed(true);
                            slot->setLineInfo(line);
                            // The upkeep rules need to know the plan of what the slot shows.
                            if (slot->getPlanType().isEmpty())
                                slot->setPlanType(source.word);
                            qDebug() << "Set port used:" << portH;
                        } else if (slot->getPort() == oldPort) {
                            slot->clear();
                            qDebug() << "Free port:" << oldPort;
                        }
                    }
                } else if (samePort) {
                    qDebug() << "Port same but IP wrong.";
                    qDebug() << "Local proxy actual bind relationship:" << ipH << portH;
                    qDebug() << "Bind relationship UI show:" << line->getIp() << line->getBindPort();
                    line->setBindPort(0);
                }
            }
        }
    }
}

} // namespace zq::ports
