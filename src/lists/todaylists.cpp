#include "todaylists.h"

#include "clock.h"
#include "constants.h"
#include "endpoints.h"
#include "linelistsort.h"
#include "payloadcodec.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMap>
#include <QQmlEngine>
#include <QSet>
#include <random>

namespace zq::lists {

TodayLists::TodayLists(SavedLists* lists, const PayloadCodec* codec, const QString& unionId, QObject* parent)
    : QObject(parent)
    , m_lists(lists)
    , m_codec(codec)
    , m_unionId(unionId)
{
}

// ---- requests ----

void TodayLists::getTodayList(const QString& plantype)
{
    zq::catalogue::FormFields fields { { QStringLiteral("username"),
        m_codec->encodeText(UserInfo::instance()->getUserName()).toUtf8() } };
    if (plantype == zq::kKeyResiTraffic)
        fields.append({ QStringLiteral("plantype"), zq::kPlanTypeFlow.toUtf8() });
    if (m_post && m_addresses)
        m_post(m_addresses->url(ep::TodayList), fields, plantype);
}

void TodayLists::getUnlimitTodayList(const QString& type)
{
    const zq::catalogue::FormFields fields { { QStringLiteral("username"),
                                                 m_codec->encodeText(UserInfo::instance()->getUserName()).toUtf8() },
        { QStringLiteral("plantype"), zq::kPlanTypeUnlimited.toUtf8() }, { QStringLiteral("type"), type.toUtf8() } };
    if (m_post && m_addresses)
        m_post(m_addresses->url(ep::TodayList), fields, zq::kKeyUnlimited);
}

void TodayLists::getTodayListV2()
{
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("isUser"), QStringLiteral("client"));
    if (m_get && m_addresses)
        m_get(m_addresses->url(ep::HelperTodayList), query);
}

// ---- service replies ----

void TodayLists::emitStatus(Plan plan, bool status, const QString& message)
{
    switch (plan) {
    case Plan::S5:
        emit getTodayListStatus(status, message);
        break;
    case Plan::ResiTraffic:
        emit getTodayResiTrafficStatus(status, message);
        break;
    case Plan::Unlimited:
        emit getTodayUnlimitListStatus(status, message);
        break;
    }
}

void TodayLists::dealTodayList(const QJsonObject& reply, const QString& tag)
{
    if (tag == zq::kKeyS5)
        merge(Plan::S5, reply);
    else if (tag == zq::kKeyResiTraffic)
        merge(Plan::ResiTraffic, reply);
    else if (tag == zq::kKeyUnlimited)
        merge(Plan::Unlimited, reply);
}

void TodayLists::merge(Plan plan, const QJsonObject& reply)
{
    if (reply.value(QLatin1String("code")).toInt(-1) != 0) {
        emitStatus(plan, false, reply.value(QLatin1String("msg")).toString());
        return;
    }
    const QJsonArray data = reply.value(QLatin1String("ret_data")).toArray();
    qDebug() << "json len=" << data.size();
    const qint64 now = zq::clock::now();
    const qint64 expiry = qint64(UserInfo::instance()->getExpireUTC());
    std::mt19937 generator(static_cast<quint32>(now));

    // One entry per server number; this machine's binding wins over another device's.
    QMap<QString, ProxyServerInfo*> byServer;
    for (int i = 0; i < data.size(); ++i) {
        const QJsonObject obj = data.at(i).toObject();
        const qint64 bindTime = obj.value(QLatin1String("bind_time")).toVariant().toLongLong();
        if (plan == Plan::Unlimited)
            qDebug() << "i:" << i << "usetime" << now - bindTime << "sn:" << obj.value(QLatin1String("sn")).toString()
                     << " ip:" << obj.value(QLatin1String("ip")).toString();
        if (now - bindTime >= zq::kOneDay)
            continue;
        const QString remote = obj.value(QLatin1String("session_id")).toString();
        const QString plainSn = m_codec->decodeText(obj.value(QLatin1String("sn")).toString());
        const QString local
            = zq::catalogue::LineRecords::sessionId(obj.value(QLatin1String("sn")).toString(), *m_codec, m_unionId);

        auto* line = new ProxyServerInfo;
        QQmlEngine::setObjectOwnership(line, QQmlEngine::CppOwnership);
        line->setId(i);
        line->setPing(int(generator() % 80) + 20);
        zq::catalogue::LineRecords::readAddressFields(line, obj);
        line->setBindType(
            obj.value(QLatin1String("bind_type")).toInt() == 1 ? QStringLiteral("API") : QStringLiteral("Manual"));
        line->setOnLine(obj.value(QLatin1String("status")).toString() == QLatin1String("Online"));
        if (obj.contains(QLatin1String("server_region")))
            line->setRegion(obj.value(QLatin1String("server_region")).toString());
        line->setBindPort(0);
        line->setSessionId(local);
        line->setBindTime(int(bindTime));
        const QString planKey = obj.value(QLatin1String("plan_type_key")).toString();
        if (plan == Plan::ResiTraffic)
            line->setPlanTypeKey(planKey);
        if (plan == Plan::Unlimited) {
            line->setPlanType(planKey);
            if (planKey.size() <= 9)
                qDebug() << line->getIp() << "plan_type_key err=" << planKey;
        }

        const bool own = remote == local;
        if (own) {
            line->setIsFromOtherDevice(false);
            if (plan == Plan::S5) {
                qDebug() << " one device session";
                const bool fresh = now - bindTime < zq::kSixHours;
                qDebug() << line->getIp() << (fresh ? "未过期---" : "过期-----------");
                line->setIsExpired(!fresh);
            } else if (plan == Plan::Unlimited) {
                qDebug() << "one device session";
                line->setIsExpired(!(now - bindTime < zq::kOneDay && now < expiry));
            } else {
                qDebug() << " one device session";
                line->setIsExpired(false);
            }
        } else {
            if (plan == Plan::Unlimited)
                qDebug() << "not one device session";
            else
                qDebug() << "session Remote--Local:" << remote << "---" << local << "not one session,not this device";
            line->setIsFromOtherDevice(true);
            line->setIsExpired(plan == Plan::S5);
        }

        zq::catalogue::LineRecords::keepOnePerServer(byServer, plainSn, line, own);
    }

    QList<QObject*>& today = m_lists->list(Kind::Today, plan);
    QSet<QString> seen;
    for (ProxyServerInfo* fresh : qAsConst(byServer)) {
        seen.insert(fresh->getIp());
        ProxyServerInfo* known = zq::catalogue::LineRecords::findByIp(today, fresh->getIp());
        if (known) {
            // A line freed here keeps its place until the service's own bind time is a day old.
            if (known->getIsFromOtherDevice() || known->getBindTime() == 0)
                known->setBindTime(fresh->getBindTime());
            known->setId(fresh->getId());
            qDebug() << "find ip:" << fresh->getIp() << "isOnline" << fresh->getOnLine() << "bindtime"
                     << fresh->getBindTime();
            known->setOnLine(fresh->getOnLine());
            delete fresh;
            continue;
        }
        qDebug() << (plan == Plan::Unlimited ? "cann't find ip:" : "can not find ip:") << fresh->getIp()
                 << "port set 0";
        fresh->setBindPort(0);
        if (now - fresh->getBindTime() < zq::kOneDay) {
            m_lists->adopt(fresh);
            today.append(fresh);
        } else {
            delete fresh;
        }
    }

    QList<QObject*> dropped;
    for (int i = today.size() - 1; i >= 0; --i) {
        auto* line = qobject_cast<ProxyServerInfo*>(today.at(i));
        if (!line)
            continue;
        if (!seen.contains(line->getIp())) {
            qDebug() << "find ip not in db,remove:" << line->getIp() << line->getBindPort() << line->getBindTime();
            dropped.append(today.takeAt(i));
        } else if (now - line->getBindTime() > zq::kOneDay) {
            qDebug() << "find ip pass one day,remove:" << line->getIp() << line->getBindPort() << line->getBindTime();
            dropped.append(today.takeAt(i));
        } else if (line->getIsFromOtherDevice()) {
            line->setBindTime(0);
        }
    }
    m_lists->release(dropped);

    if (plan != Plan::Unlimited)
        zq::catalogue::sortLines(today, QStringLiteral("ID"));
    m_lists->save(Kind::Today, plan);
    emitStatus(plan, true,
        plan == Plan::Unlimited ? QStringLiteral("Refresh unlimit todaylist success")
                                : QStringLiteral("Refresh todaylist success"));
}

// ---- the helper's bindings ----

void TodayLists::dealHelperTodayList(const QJsonObject& reply)
{
    qDebug() << "todatlistv2" << reply;
    if (reply.value(QLatin1String("code")).toInt(-1) != 1)
        return;
    QList<QObject*>& today = m_lists->list(Kind::Today, Plan::S5);
    for (const QJsonValue& value : reply.value(QLatin1String("data")).toArray()) {
        const QJsonObject obj = value.toObject();
        const int port = obj.value(QLatin1String("BindPort")).toInt();
        const QString ip = obj.value(QLatin1String("Ip")).toString();
        for (QObject* object : today) {
            auto* line = qobject_cast<ProxyServerInfo*>(object);
            if (!line)
                continue;
            if (line->getBindPort() == port && port != 0)
                line->setBindPort(0);
            if (line->getIp() == ip && port != 0 && line->getBindPort() == 0)
                line->setBindPort(port);
        }
    }
    zq::catalogue::sortLines(today, QStringLiteral("ID"));
    m_lists->save(Kind::Today, Plan::S5);
    emit getTodayListStatus(true, QStringLiteral("Refresh todaylistv2 success"));
}

// ---- re-binding after a (re)start ----

QString TodayLists::areaOf(const ProxyServerInfo* line)
{
    QString area = line->getCountry();
    area += line->getCity().isEmpty() ? QStringLiteral("-random") : QLatin1Char('-') + line->getCity();
    area += line->getState().isEmpty() ? QStringLiteral("-random") : QLatin1Char('-') + line->getState();
    return area;
}

void TodayLists::setAllTodayPortSession()
{
    const qint64 now = zq::clock::now();
    const int programPort = m_rebind.programPort ? m_rebind.programPort() : 0;
    // Copies: replies handled during the pauses may change the lists.
    const QList<QObject*> s5 = m_lists->list(Kind::Today, Plan::S5);
    for (QObject* object : s5) {
        auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (!line)
            continue;
        qDebug() << line->getBindPort() << line->getIp();
        const QString area = areaOf(line);
        qDebug() << line->getBindPort() << line->getIp() << line->getBindTime() << line->getOnLine();
        if (line->getBindPort() < 1 || line->getBindPort() == programPort) {
            qDebug() << "none bind port";
        } else if (now - line->getBindTime() >= zq::kSixHours) {
            qDebug() << "over time,not bind port";
            line->setBindPort(0);
        } else {
            zq::clock::processEventsFor(m_rebind.pauseMs);
            if (m_rebind.setPortSession)
                m_rebind.setPortSession(line->getSessionId(), line->getIp(), line->getBindPort(), line->getProxyIp(),
                    line->getSn(), line->getBindPort(), area, line->getRegion(), false, true);
        }
    }
    const QList<QObject*> resi = m_lists->list(Kind::Today, Plan::ResiTraffic);
    for (QObject* object : resi) {
        auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (!line)
            continue;
        const QString area = areaOf(line);
        if (line->getBindPort() < 1 || line->getBindPort() == programPort) {
            qDebug() << "none bind port";
            continue;
        }
        zq::clock::processEventsFor(m_rebind.pauseMs);
        if (m_rebind.setPortSessionResiTraffic)
            m_rebind.setPortSessionResiTraffic(line->getSessionId(), line->getIp(), line->getBindPort(),
                line->getProxyIp(), line->getSn(), area, line->getRegion(), true, line->getPlanTypeKey());
    }
    if (m_rebind.compareIpAndPortState)
        m_rebind.compareIpAndPortState();
}

void TodayLists::setAllTodayUnlimitPortSession()
{
    const qint64 now = zq::clock::now();
    const int programPort = m_rebind.programPort ? m_rebind.programPort() : 0;
    const QList<QObject*> unlimited = m_lists->list(Kind::Today, Plan::Unlimited);
    for (QObject* object : unlimited) {
        auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (!line)
            continue;
        const QString area = areaOf(line);
        if (line->getBindPort() < 1 || line->getBindPort() == programPort)
            qDebug() << "not bind port";
        else if (now - line->getBindTime() >= zq::kOneDay)
            line->setBindPort(0);
        else if (m_rebind.inRange && !m_rebind.inRange(line->getBindPort()))
            line->setBindPort(0);
        else if (m_rebind.setPortSessionS5U)
            m_rebind.setPortSessionS5U(line->getSessionId(), line->getIp(), line->getBindPort(), line->getProxyIp(),
                line->getSn(), line->getBindPort(), area, line->getRegion(), false, true);
    }
}

} // namespace zq::lists
