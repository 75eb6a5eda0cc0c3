#include "favourites.h"

#include "clock.h"
#include "constants.h"
#include "endpoints.h"
#include "linelistsort.h"
#include "payloadcodec.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QDebug>
#include <QJsonArray>
#include <QMap>
#include <QQmlEngine>
#include <random>

namespace zq::lists {

namespace {

// The plan a tag or plan text names: empty is "S5".
bool planOf(const QString& text, Plan* plan)
{
    if (text.isEmpty() || text == zq::kKeyS5)
        *plan = Plan::S5;
    else if (text == zq::kKeyResiTraffic)
        *plan = Plan::ResiTraffic;
    else if (text == zq::kKeyUnlimited)
        *plan = Plan::Unlimited;
    else
        return false;
    return true;
}

} // namespace

Favourites::Favourites(SavedLists* lists, const PayloadCodec* codec, const QString& unionId, QObject* parent)
    : QObject(parent)
    , m_lists(lists)
    , m_codec(codec)
    , m_unionId(unionId)
{
}

void Favourites::post(const char* path, const zq::catalogue::FormFields& fields, const QString& tag)
{
    if (m_post && m_addresses)
        m_post(m_addresses->accountBase() + QLatin1String(path), fields, tag);
}

// ---- fetch and merge ----

void Favourites::getFavouriteList(const QString& plantype)
{
    zq::catalogue::FormFields fields { { QStringLiteral("username"),
        m_codec->encodeText(UserInfo::instance()->getUserName()).toUtf8() } };
    if (plantype == zq::kKeyResiTraffic)
        fields.append({ QStringLiteral("plantype"), zq::kPlanTypeFlow.toUtf8() });
    post(ep::FavouriteInfo.path, fields, plantype);
}

void Favourites::dealGetFavouriteList(const QJsonObject& reply, const QString& tag)
{
    qDebug() << "dealGetFavouriteList->"
             << "type:" << tag;
    if (tag != zq::kKeyS5 && tag != zq::kKeyResiTraffic)
        return;
    const Plan plan = tag == zq::kKeyS5 ? Plan::S5 : Plan::ResiTraffic;
    if (reply.value(QLatin1String("code")).toInt(-1) != 0) {
        emit getFavouriteListStatus(false, reply.value(QLatin1String("msg")).toString());
        return;
    }
    const qint64 now = zq::clock::now();
    std::mt19937 generator(static_cast<quint32>(now));
    const QJsonArray data = reply.value(QLatin1String("ret_data")).toArray();
    QMap<QString, ProxyServerInfo*> byServer;
    for (int n = 0; n < data.size(); ++n) {
        const QJsonObject obj = data.at(n).toObject();
        const QString sn = obj.value(QLatin1String("sn")).toString();
        const QString local = zq::catalogue::LineRecords::sessionId(sn, *m_codec, m_unionId);
        auto* line = new ProxyServerInfo;
        QQmlEngine::setObjectOwnership(line, QQmlEngine::CppOwnership);
        line->setId(n);
        zq::catalogue::LineRecords::readAddressFields(line, obj);
        line->setRemark(obj.value(QLatin1String("remarks")).toString());
        line->setPing(int(generator() % 80) + 20);
        line->setOnLine(obj.value(QLatin1String("status")).toString() == QLatin1String("Online"));
        if (obj.contains(QLatin1String("server_region")))
            line->setRegion(obj.value(QLatin1String("server_region")).toString());
        if (plan == Plan::ResiTraffic)
            line->setPlanTypeKey(obj.value(QLatin1String("plan_type_key")).toString());
        line->setSessionId(local);
        const bool own = local == obj.value(QLatin1String("session_id")).toString();
        if (own) {
            qDebug() << " one device session" << line->getIp();
            const qint64 bindTime = obj.value(QLatin1String("bind_time")).toVariant().toLongLong();
            line->setBindTime(int(bindTime));
            line->setIsFromOtherDevice(false);
            if (plan == Plan::S5)
                line->setIsExpired(now - bindTime >= zq::kSixHours);
        } else {
            qDebug() << "not one device session" << line->getIp();
            line->setIsFromOtherDevice(true);
        }
        const QString plainSn = m_codec->decodeText(sn);
        zq::catalogue::LineRecords::keepOnePerServer(byServer, plainSn, line, own);
    }

    QList<QObject*>& favourites = m_lists->list(Kind::Favourite, plan);
    QStringList replyIps;
    for (ProxyServerInfo* fresh : qAsConst(byServer)) {
        replyIps.append(fresh->getIp());
        ProxyServerInfo* known = zq::catalogue::LineRecords::findByIp(favourites, fresh->getIp());
        if (known) {
            known->setId(fresh->getId());
            known->setOnLine(fresh->getOnLine());
            known->setRemark(fresh->getRemark());
            qDebug() << "find ip:" << fresh->getIp() << "isOnline" << fresh->getOnLine();
            if (plan == Plan::ResiTraffic)
                qDebug() << "same:" << known->getIp() << fresh->getIp();
            delete fresh;
            continue;
        }
        if (plan == Plan::ResiTraffic)
            qDebug() << "未找到****************************"
                     << "port set 0";
        fresh->setBindPort(0);
        m_lists->adopt(fresh);
        favourites.append(fresh);
    }

    QList<QObject*> dropped;
    for (int i = favourites.size() - 1; i >= 0; --i) {
        auto* line = qobject_cast<ProxyServerInfo*>(favourites.at(i));
        if (line && !replyIps.contains(line->getIp())) {
            qDebug() << "find ip not in db,remove:" << line->getIp() << line->getBindPort() << line->getBindTime();
            dropped.append(favourites.takeAt(i));
        }
    }
    qDebug() << replyIps << favourites.size() << byServer.size();

    // A favourite that is also today's line becomes the today record itself.
    const QList<QObject*>& today = m_lists->list(Kind::Today, plan);
    for (int i = 0; i < favourites.size(); ++i) {
        auto* favourite = qobject_cast<ProxyServerInfo*>(favourites.at(i));
        ProxyServerInfo* shared = favourite ? zq::catalogue::LineRecords::findByIp(today, favourite->getIp()) : nullptr;
        if (!shared || shared == favourite)
            continue;
        shared->setRemark(favourite->getRemark());
        favourites.removeAt(i--);
        favourites.append(shared);
        dropped.append(favourite);
    }
    m_lists->release(dropped);

    zq::catalogue::sortLines(favourites, QStringLiteral("ID"));
    m_lists->save(Kind::Favourite, plan);
    emit getFavouriteListStatus(true, QStringLiteral("Refresh favouritelist success"));
}

// ---- add ----

void Favourites::addFavourite(Plan plan, const QString& username, const QString& ip, const QString& area,
    const QString& sn, const QString& server, const QString& sessionId, const QString& tag)
{
    if (zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Favourite, plan), ip)) {
        emit setFavouriteStatus(true, QStringLiteral("ip already exist in favourite"));
        return;
    }
    zq::catalogue::FormFields fields { { QStringLiteral("area"), area.toUtf8() },
        { QStringLiteral("session_id"), sessionId.toUtf8() }, { QStringLiteral("username"), username.toUtf8() },
        { QStringLiteral("ip"), ip.toUtf8() }, { QStringLiteral("sn"), sn.toUtf8() },
        { QStringLiteral("server"), server.toUtf8() } };
    if (plan == Plan::ResiTraffic)
        fields.append({ QStringLiteral("plantype"), zq::kPlanTypeFlow.toUtf8() });
    else if (plan == Plan::Unlimited)
        fields.append({ QStringLiteral("plantype"), zq::kPlanTypeUnlimited.toUtf8() });
    post(ep::FavouriteAdd.path, fields, tag);
}

void Favourites::setFavourite(const QString& username, const QString& ip, const QString& area, const QString& sn,
    const QString& server, const QString& sessionId, const QString& plantype)
{
    if (plantype.isEmpty())
        addFavourite(Plan::S5, username, ip, area, sn, server, sessionId, QString());
    else if (plantype == zq::kKeyResiTraffic)
        addFavourite(Plan::ResiTraffic, username, ip, area, sn, server, sessionId, plantype);
}

void Favourites::setFavouriteUnlimit(const QString& username, const QString& ip, const QString& area, const QString& sn,
    const QString& server, const QString& sessionId)
{
    addFavourite(Plan::Unlimited, username, ip, area, sn, server, sessionId, zq::kKeyUnlimited);
}

void Favourites::dealFavouriteInfo(const QJsonObject& reply, const QString& tag)
{
    qDebug() << "dealFavouriteInfo:"
             << "type:" << tag << reply;
    const int code = reply.value(QLatin1String("code")).toInt(-1);
    if (code == 0) {
        emit setFavouriteStatus(true, QStringLiteral("exist"));
        return;
    }
    if (code != 1) {
        emit setFavouriteStatus(false, QStringLiteral("error"));
        return;
    }
    const QStringList parts = reply.value(QLatin1String("msg")).toString().split(QLatin1Char(';'));
    Plan plan;
    if (parts.size() > 1 && planOf(tag, &plan)) {
        const QString ip = parts.at(1);
        QList<QObject*>& favourites = m_lists->list(Kind::Favourite, plan);
        if (!zq::catalogue::LineRecords::findByIp(favourites, ip)) {
            for (QObject* object : m_lists->list(Kind::Today, plan)) {
                auto* line = qobject_cast<ProxyServerInfo*>(object);
                if (line && line->getIp() == ip)
                    favourites.append(line);
            }
        }
    }
    emit setFavouriteStatus(true, QStringLiteral("success"));
}

// ---- dislike ----

void Favourites::dislike(Plan plan, bool changeList, const QString& username, const QString& ip, const QString& sn,
    const QString& server, const QString& sessionId, const QByteArray& planWord)
{
    zq::catalogue::FormFields fields { { QStringLiteral("session_id"), sessionId.toUtf8() },
        { QStringLiteral("username"), username.toUtf8() }, { QStringLiteral("ip"), ip.toUtf8() },
        { QStringLiteral("sn"), sn.toUtf8() }, { QStringLiteral("server"), server.toUtf8() } };
    if (!planWord.isEmpty())
        fields.append({ QStringLiteral("plantype"), planWord });
    post(ep::FavouriteDislike.path, fields, QString());
    if (!changeList)
        return;
    // Removed at once, without waiting for the service.
    QList<QObject*>& favourites = m_lists->list(Kind::Favourite, plan);
    QList<QObject*> dropped;
    for (int i = favourites.size() - 1; i >= 0; --i) {
        auto* line = qobject_cast<ProxyServerInfo*>(favourites.at(i));
        if (line && line->getIp() == ip)
            dropped.append(favourites.takeAt(i));
    }
    m_lists->release(dropped);
    m_lists->save(Kind::Favourite, plan);
}

void Favourites::setDislikeIP(const QString& username, const QString& ip, const QString& sn, const QString& server,
    const QString& sessionId, const QString& plantype)
{
    const bool resi = plantype == zq::kKeyResiTraffic;
    dislike(resi ? Plan::ResiTraffic : Plan::S5, plantype.isEmpty() || resi, username, ip, sn, server, sessionId,
        resi ? zq::kPlanTypeFlow.toUtf8() : QByteArray());
}

void Favourites::setDislikeIPUnlimit(
    const QString& username, const QString& ip, const QString& sn, const QString& server, const QString& sessionId)
{
    dislike(Plan::Unlimited, true, username, ip, sn, server, sessionId, zq::kPlanTypeUnlimited.toUtf8());
}

void Favourites::dealDislike(const QJsonObject& reply)
{
    qDebug() << reply;
    if (reply.value(QLatin1String("code")).toInt(-1) == 1)
        emit setDislikeStatus(true, QStringLiteral("success"));
    else
        emit setDislikeStatus(false, QStringLiteral("error"));
}

// ---- remarks ----

void Favourites::setFavouriteRemark(const QString& ip, const QString& planType, const QString& remarks)
{
    qDebug() << "设定评论：" << ip << planType << remarks;
    zq::catalogue::FormFields fields { { QStringLiteral("username"), UserInfo::instance()->getUserName().toUtf8() },
        { QStringLiteral("ip"), ip.toUtf8() }, { QStringLiteral("remarks"), remarks.toUtf8() } };
    if (planType == zq::kKeyResiTraffic)
        fields.append({ QStringLiteral("plantype"), zq::kPlanTypeFlow.toUtf8() });
    post(ep::FavouriteRemark.path, fields, planType + QLatin1Char(':') + ip + QLatin1Char(':') + remarks);
}

void Favourites::dealFavouriteRemark(const QJsonObject& reply, const QString& tag)
{
    // Plan and IP hold no ":"; everything after the second one is the remark, which may.
    QString planType, ip, remark;
    if (tag.count(QLatin1Char(':')) >= 2) {
        planType = tag.section(QLatin1Char(':'), 0, 0);
        ip = tag.section(QLatin1Char(':'), 1, 1);
        remark = tag.section(QLatin1Char(':'), 2);
    }
    qDebug() << "planType,ip,remark:" << planType << ip << remark;
    if (reply.value(QLatin1String("code")).toInt(-1) != 1) {
        emit setFavouriteRemarkStatus(false, reply.value(QLatin1String("msg")).toString());
        return;
    }
    Plan plan;
    if (!ip.isEmpty() && planOf(planType, &plan)) {
        for (QObject* object : m_lists->list(Kind::Favourite, plan)) {
            auto* line = qobject_cast<ProxyServerInfo*>(object);
            if (line && line->getIp() == ip)
                line->setRemark(remark);
        }
    }
    emit setFavouriteRemarkStatus(true, QStringLiteral("success"));
}

} // namespace zq::lists
