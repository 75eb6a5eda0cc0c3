#include "portbindings.h"

#include "clock.h"
#include "constants.h"
#include "endpoints.h"
#include "linecatalogue.h"
#include "linelistsort.h"
#include "payloadcodec.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTimer>

namespace zq::ports {

using zq::lists::Kind;

namespace {

const QString kBindSuccess = QStringLiteral("Bind Success!");
const QString kBindFailed = QStringLiteral("Bind Failed! Please try again.");
// A bind the helper accepted for a line the client no longer lists anywhere.
const QString kBindLost = QStringLiteral("Bind Failed! The line is no longer in your lists, please search again.");
const QString kUnusable = QStringLiteral("The selected port is unusable, please select another port.");
const QString kFull = QStringLiteral("No more port to bind,Please reset port range.");

// The bind stamp of a line that has just been bound from this machine.
void applyBindStamp(ProxyServerInfo* line)
{
    line->setBindTime(int(zq::clock::now()));
    line->setOnLine(true);
    line->setBindType(QStringLiteral("Manual"));
    line->setIsExpired(false);
    line->setIsFromOtherDevice(false);
}

} // namespace

PortBindings::PortBindings(PortTable* ports, zq::lists::SavedLists* lists, zq::catalogue::LineCatalogue* lines,
    const PayloadCodec* codec, const zq::ServiceAddresses* addresses, QObject* parent)
    : QObject(parent)
    , m_ports(ports)
    , m_lists(lists)
    , m_lines(lines)
    , m_codec(codec)
    , m_addresses(addresses)
{
}

// ---- requests ----

void PortBindings::post(const QString& endpointPath, const zq::catalogue::FormFields& fields, const QString& tag)
{
    if (m_post)
        m_post(endpointPath, fields, tag);
}

int PortBindings::choosePort(int port) const
{
    if (port != 0)
        return port;
    const PortInfo* slot = m_ports->firstFreeSlot();
    return slot ? slot->getPort() : 0;
}

void PortBindings::reportFull(bool later)
{
    qDebug() << "port is full";
    if (!later) {
        emit setPortSessionStatus(false, kFull, QString());
        return;
    }
    QTimer::singleShot(500, this, [this]() { emit setPortSessionStatus(false, kFull, QString()); });
}

void PortBindings::stamp(int port)
{
    const uint now = uint(zq::clock::now());
    for (PortInfo* slot : m_ports->list()) {
        if (slot->getPort() == port)
            slot->setOperateTime(now);
    }
}

zq::catalogue::FormFields PortBindings::bindFields(const QString& sessionId, const QString& ip, int port,
    const QString& server, const QString& sn, int openPort, const QString& area, const QString& region) const
{
    zq::catalogue::FormFields fields;
    fields.append(
        { QStringLiteral("user_session"), m_codec->encodeText(UserInfo::instance()->getUserName()).toUtf8() });
    fields.append({ QStringLiteral("area"), area.toUtf8() });
    fields.append({ QStringLiteral("session_id"), sessionId.toUtf8() });
    fields.append({ QStringLiteral("region"), region.toUtf8() });
    fields.append({ QStringLiteral("port"), QByteArray::number(port) });
    if (openPort != 0)
        fields.append({ QStringLiteral("open_port"), m_codec->encodeText(QString::number(openPort)).toUtf8() });
    fields.append({ QStringLiteral("sn"), sn.toUtf8() });
    fields.append({ QStringLiteral("server"), server.toUtf8() });
    fields.append({ QStringLiteral("client_ip"), ip.toUtf8() });
    return fields;
}

void PortBindings::setPortSession(const QString& sessionId, const QString& ip, int port, const QString& server,
    const QString& sn, int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable)
{
    m_lastBindIp = ip;
    qDebug() << "绑定S5:" << sessionId << ip << port << server << sn << openPort << area << region << isNeedCharge
             << usable;
    if (!usable) {
        emit setPortSessionStatus(false, kUnusable, QString());
        return;
    }
    if (UserInfo::instance()->getIpNums() < 1 && isNeedCharge) {
        emit userNoIpNums();
        return;
    }
    if (port == 0) {
        port = choosePort(0);
        if (port == 0)
            return reportFull(true);
        openPort = isNeedCharge ? 0 : port;
    }
    stamp(port);
    const QString tag = QStringLiteral("%1:%2:%3").arg(port).arg(isNeedCharge ? 1 : 0).arg(ip);
    post(
        m_addresses->url(ep::SetPortSession), bindFields(sessionId, ip, port, server, sn, openPort, area, region), tag);
}

void PortBindings::setPortSessionS5U(const QString& sessionId, const QString& ip, int port, const QString& server,
    const QString& sn, int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable)
{
    qDebug() << "setPortSessionS5U" << sessionId << ip << port << server << sn << openPort << area << region
             << isNeedCharge << usable;
    if (!usable) {
        emit setPortSessionStatus(false, kUnusable, QString());
        return;
    }
    if (zq::clock::now() > qint64(UserInfo::instance()->getExpireUTC())) {
        emit userNoValidTime();
        return;
    }
    qDebug() << "portInfoList size" << m_ports->list().size();
    if (port == 0) {
        port = choosePort(0);
        if (port == 0)
            return reportFull(false);
    }
    QString planType;
    const QList<const QList<QObject*>*> sources { &m_lines->mutableLines(Plan::Unlimited),
        &m_lists->list(Kind::Today, Plan::Unlimited), &m_lists->list(Kind::Favourite, Plan::Unlimited) };
    for (const QList<QObject*>* source : sources) {
        if (const ProxyServerInfo* line = zq::catalogue::LineRecords::findByIp(*source, ip)) {
            qDebug() << "find ip" << ip << "find ip--planType" << line->getPlanType();
            if (line->getPlanType().size() >= 2) {
                planType = line->getPlanType();
                break;
            }
        }
    }
    if (planType.isEmpty()) {
        qDebug() << "No planType with ip=" + ip;
        emit setPortSessionStatus(false, QStringLiteral("No planType with ip=") + ip, QString());
        return;
    }
    stamp(port);
    zq::catalogue::FormFields fields = bindFields(sessionId, ip, port, server, sn, openPort, area, region);
    fields.append({ QStringLiteral("plan_type_key"), planType.toUtf8() });
    fields.append({ QStringLiteral("unlimit_server"), UserInfo::instance()->getServer().toUtf8() });
    const QString tag = QStringLiteral("%1:%2:%3:isUnlimit").arg(port).arg(isNeedCharge ? 1 : 0).arg(ip);
    post(m_addresses->url(ep::SetPortSession), fields, tag);
}

void PortBindings::setPortSessionResiTraffic(const QString& sessionId, const QString& ip, int port,
    const QString& server, const QString& sn, const QString& area, const QString& region, bool usable,
    const QString& planTypeKey)
{
    qDebug() << "绑定住宅流量:" << sessionId << ip << port << server << sn << area << region << usable << planTypeKey;
    if (!usable) {
        emit setPortSessionStatus(false, kUnusable, QString());
        return;
    }
    if (UserInfo::instance()->getResiTraffic_reamin() < 0) {
        emit userNoIpTraffic();
        return;
    }
    if (port == 0) {
        port = choosePort(0);
        if (port == 0)
            return reportFull(true);
        qDebug() << "端口传0，自动选择一个未绑定的端口进行绑定"
                 << "端口号：" << port;
    }
    stamp(port);
    zq::catalogue::FormFields fields = bindFields(sessionId, ip, port, server, sn, 0, area, region);
    fields.append({ QStringLiteral("plantypekey"), planTypeKey.toUtf8() });
    post(m_addresses->url(ep::SetPortSession), fields, QStringLiteral("%1:%2").arg(port).arg(ip));
}

void PortBindings::checkSnIsExist(
    const QString& sn, const QString& serverIp, const QString& username, const QString& sessionId)
{
    const zq::catalogue::FormFields fields { { QStringLiteral("sn"), sn.toUtf8() },
        { QStringLiteral("forward_ip"), serverIp.toUtf8() }, { QStringLiteral("user_name"), username.toUtf8() },
        { QStringLiteral("session_id"), sessionId.toUtf8() } };
    post(m_addresses->url(ep::SnIsExist), fields, sn);
}

void PortBindings::dealSnIsExist(const QJsonObject& reply, const QString& sn)
{
    if (reply.value(QLatin1String("code")).toInt(-1) == 0) {
        qDebug() << sn << "线路在线--";
        return;
    }
    qDebug() << sn << "线路不在线--";
    for (QObject* object : m_lists->list(Kind::Today, Plan::S5)) {
        auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (line && line->getSn() == sn)
            line->setOnLine(false);
    }
}

void PortBindings::freeOneProxyPort(int port)
{
    if (port == 0) {
        qDebug() << "free 0 err";
        return;
    }
    post(m_addresses->url(ep::DelPortSession), { { QStringLiteral("port"), QByteArray::number(port) } },
        QString::number(port));
}

void PortBindings::freeProxyPort()
{
    post(m_addresses->url(ep::FreedProxyPort), {}, QString());
}

int PortBindings::freeResidentTrafficPort()
{
    QList<int> ports;
    for (QObject* object : m_lists->list(Kind::Today, Plan::ResiTraffic)) {
        auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (line && line->getBindPort() != 0)
            ports.append(line->getBindPort());
    }
    for (int port : ports) {
        zq::clock::processEventsFor(100);
        freeOneProxyPort(port);
    }
    return ports.size();
}

void PortBindings::resetPort(const QString& startPort, const QString& portNum)
{
    post(m_addresses->url(ep::ResetPort),
        { { QStringLiteral("start_port"), startPort.toUtf8() }, { QStringLiteral("port_num"), portNum.toUtf8() } },
        QString());
}

// ---- release ----

void PortBindings::clearLinePort(ProxyServerInfo* line)
{
    if (!line)
        return;
    qDebug() << "bindPort" << line->getBindPort() << "set 0";
    line->setBindPort(0);
}

void PortBindings::clearSlotAndLine(PortInfo* slot)
{
    clearLinePort(qobject_cast<ProxyServerInfo*>(slot->getLineInfo()));
    slot->clear();
}

void PortBindings::dealFreeOneProxyPort(const QJsonObject& reply, const QString& tag)
{
    const int port = tag.toInt();
    if (reply.value(QLatin1String("code")).toInt(-1) != 0) {
        qDebug() << "free port fail";
        emit freeOnePortStatus(false, reply.value(QLatin1String("msg")).toString(), port);
        return;
    }
    qDebug() << "dealFreeOneProxyPort:" << reply;
    for (const auto& [kind, plan] : { std::pair { Kind::Today, Plan::S5 }, { Kind::Favourite, Plan::S5 },
             { Kind::Today, Plan::Unlimited }, { Kind::Favourite, Plan::Unlimited } }) {
        for (QObject* object : m_lists->list(kind, plan)) {
            auto* line = qobject_cast<ProxyServerInfo*>(object);
            if (line && line->getBindPort() == port)
                clearLinePort(line);
        }
    }
    for (PortInfo* slot : m_ports->list()) {
        if (slot->getPort() == port)
            clearSlotAndLine(slot);
    }
    for (int i = m_forwardList.size() - 1; i >= 0; --i) {
        PortInfo* slot = m_forwardList.at(i);
        if (!slot || slot->getPort() != port)
            continue;
        clearSlotAndLine(slot);
        m_forwardList.removeAt(i);
    }
    emit freeOnePortStatus(true, QString(), port);
    m_lists->save(Kind::Today, Plan::S5);
    m_lists->save(Kind::Today, Plan::Unlimited);
    m_lists->save(Kind::Favourite, Plan::S5);
    m_lists->save(Kind::Favourite, Plan::Unlimited);
}

void PortBindings::dealFreeProxyPort(const QJsonObject& reply)
{
    if (reply.value(QLatin1String("code")).toInt(-1) != 0) {
        qDebug() << "free port fail";
        emit freePortStatus(false, reply.value(QLatin1String("msg")).toString());
        return;
    }
    qDebug() << "dealFreeProxyPort:" << reply;
    for (Kind kind : { Kind::Today, Kind::Favourite }) {
        for (Plan plan : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic }) {
            for (QObject* object : m_lists->list(kind, plan))
                clearLinePort(qobject_cast<ProxyServerInfo*>(object));
        }
    }
    for (PortInfo* slot : m_ports->list())
        clearSlotAndLine(slot);
    for (PortInfo* slot : qAsConst(m_forwardList)) {
        if (slot)
            clearSlotAndLine(slot);
    }
    for (Kind kind : { Kind::Today, Kind::Favourite }) {
        for (Plan plan : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic })
            m_lists->save(kind, plan);
    }
    emit freePortStatus(true, QString());
}

// ---- outcome ----

void PortBindings::dealSetPortSessionFailed()
{
    // No status signal follows a transport failure, so views are not told to re-read: the
    // dropped records stay alive (owned by the catalogue) rather than vanish under a view.
    for (Plan plan : { Plan::S5, Plan::ResiTraffic }) {
        QList<QObject*>& list = m_lines->mutableLines(plan);
        for (int i = list.size() - 1; i >= 0; --i) {
            auto* line = qobject_cast<ProxyServerInfo*>(list.at(i));
            if (line && line->getIp() == zq::kUnboundAddress)
                list.removeAt(i);
        }
    }
}

void PortBindings::dealSetPortSesssion(const QJsonObject& reply, const QString& tag)
{
    qDebug() << "dealSetPortSesssion :" << reply << "\n" << tag;
    if (reply.value(QLatin1String("code")).toInt(-1) != 0) {
        emit setPortSessionStatus(false, reply.value(QLatin1String("msg")).toString(), QString());
        return;
    }
    const QJsonObject data = reply.value(QLatin1String("data")).toObject();
    const QStringList fields = tag.split(QLatin1Char(':'));
    const int port = fields.value(0).toInt();
    const bool succeeded = data.value(QLatin1String("bind_status")).toString() == QLatin1String("success")
        || data.value(QLatin1String("bind_message")).toString() == QLatin1String("success");
    if (!succeeded) {
        qDebug() << "绑定失败，从代理列表中删除此IP" << m_lastBindIp;
        for (Plan plan : { Plan::ResiTraffic, Plan::S5 }) {
            QList<QObject*>& list = m_lines->mutableLines(plan);
            QList<QObject*> dropped;
            for (int i = list.size() - 1; i >= 0; --i) {
                auto* line = qobject_cast<ProxyServerInfo*>(list.at(i));
                if (line && line->getIp() == m_lastBindIp)
                    dropped.append(list.takeAt(i));
            }
            m_lists->release(dropped);
        }
        for (PortInfo* slot : m_ports->list()) {
            if (slot->getPort() == port)
                slot->clear();
        }
        emit setPortSessionStatus(false, kBindFailed, QString());
        return;
    }

    qDebug() << "size:" << fields.size() << "port,charge,ip,planType:" << fields;
    QString ip;
    ProxyServerInfo* bound = nullptr;
    bool changesRecords = true;
    if (fields.size() == 3) {
        qDebug() << "处理 绑定S5";
        ip = fields.at(2);
        const bool charge = fields.at(1).toInt() != 0;
        qDebug() << "dealAllAndTodayProxyList" << ip << port << charge;
        bound = charge ? bookS5Charged(ip, port) : bookS5Uncharged(ip, port);
        if (charge && bound)
            QTimer::singleShot(3000, this, [this]() {
                if (m_refreshIpCount)
                    m_refreshIpCount();
            });
    } else if (fields.size() == 2) {
        qDebug() << "处理 绑定 住宅流量";
        ip = fields.at(1);
        bound = bookResidential(ip, port);
    } else {
        ip = fields.value(2);
        changesRecords = false;
    }

    if (changesRecords && !bound) {
        // The helper forwards a port the client cannot show: take it back and say so.
        // The release reply clears the slot and any line still naming the port.
        qDebug() << "ip" << ip << "is in no list; freeing port" << port;
        freeOneProxyPort(port);
        emit setPortSessionStatus(false, kBindLost, QString());
        return;
    }

    const bool saved = m_lists->save(Kind::Today, Plan::S5) && m_lists->save(Kind::Today, Plan::ResiTraffic)
        && m_lists->save(Kind::Favourite, Plan::S5) && m_lists->save(Kind::Favourite, Plan::ResiTraffic);
    if (saved)
        emit setPortSessionStatus(true, kBindSuccess, ip);
    else
        emit setPortSessionStatus(true, QStringLiteral("Bind success but save failed"), QString());
}

void PortBindings::enterToday(ProxyServerInfo* line, Plan plan, bool stampIt)
{
    if (stampIt)
        applyBindStamp(line);
    QList<QObject*>& today = m_lists->list(Kind::Today, plan);
    const auto* first = today.isEmpty() ? nullptr : qobject_cast<ProxyServerInfo*>(today.first());
    const int id = first ? first->getId() + 1 : 0;
    line->setId(id);
    qDebug() << "bind ID:" << id;
    m_lists->adopt(line);
    today.prepend(line);
}

void PortBindings::freeOldSlot(ProxyServerInfo* line, int newPort)
{
    const int old = line->getBindPort();
    if (old == 0 || old == newPort)
        return;
    if (PortInfo* slot = m_ports->slotFor(old)) {
        qDebug() << old << line->getIp() << "set free";
        slot->clear();
    }
}

void PortBindings::clearPortFromOtherLines(const QString& ip, int port)
{
    for (Kind kind : { Kind::Today, Kind::Favourite }) {
        for (Plan plan : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic }) {
            for (QObject* object : m_lists->list(kind, plan)) {
                auto* line = qobject_cast<ProxyServerInfo*>(object);
                if (!line || line->getBindPort() != port || line->getIp() == ip)
                    continue;
                line->setBindPort(0);
                qDebug() << line->getIp() << port << zq::lists::SavedLists::listName(kind, plan) + " setbindport 0";
                break;
            }
        }
    }
}

void PortBindings::fillSlots(ProxyServerInfo* line, int port, const QString& planType, bool firstOnly)
{
    for (PortInfo* slot : m_ports->list()) {
        if (slot->getPort() != port)
            continue;
        if (firstOnly) {
            auto* shown = qobject_cast<ProxyServerInfo*>(slot->getLineInfo());
            if (shown && shown != line) {
                qDebug() << "free last bind port ip" << shown->getIp() << shown->getBindTime() << shown->getBindPort()
                         << shown->getIsExpired();
                shown->setBindPort(0);
            } else if (shown == line) {
                qDebug() << "same ip and port" << line->getIp() << port;
            }
        } else {
            qDebug() << line->getIp() << line->getBindTime() << line->getBindPort() << line->getIsExpired();
        }
        slot->setUsed(true);
        line->setBindPort(port);
        slot->setLineInfo(line);
        slot->setPlanType(planType);
        slot->setOperateTime(uint(line->getBindTime()));
        if (firstOnly)
            break;
    }
    if (port == m_ports->programPort())
        emit bindPortForProgramProxyStatus(true, line->getIp());
}

void PortBindings::promoteFavourite(ProxyServerInfo* line, Plan plan, const QString& listName)
{
    QList<QObject*>& favourites = m_lists->list(Kind::Favourite, plan);
    ProxyServerInfo* favourite = zq::catalogue::LineRecords::findByIp(favourites, line->getIp());
    if (!favourite)
        return;
    favourites.removeOne(favourite);
    favourites.prepend(line);
    if (favourite != line)
        m_lists->release({ favourite });
    m_lines->LineListSort(listName, QStringLiteral("BindTime"));
}

ProxyServerInfo* PortBindings::bookS5Charged(const QString& ip, int port)
{
    UserInfo* user = UserInfo::instance();
    qDebug() << "UserInfo::getInstance()->getIpNums() = " << user->getIpNums();
    if (user->getIpNums() > 0) {
        user->setIpNums(user->getIpNums() - 1);
        emit getUserIpNumsStatus(true, QString());
    }
    QList<QObject*>& lineList = m_lines->mutableLines(Plan::S5);
    ProxyServerInfo* line = zq::catalogue::LineRecords::findByIp(lineList, ip);
    if (line) {
        lineList.removeOne(line);
        enterToday(line, Plan::S5, true);
    } else if ((line = zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Today, Plan::S5), ip))) {
        freeOldSlot(line, port);
        applyBindStamp(line);
    } else if ((line = zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Favourite, Plan::S5), ip))) {
        freeOldSlot(line, port);
        enterToday(line, Plan::S5, true);
    } else {
        return nullptr;
    }
    clearPortFromOtherLines(ip, port);
    fillSlots(line, port, zq::kPlanS5, false);
    promoteFavourite(line, Plan::S5, QStringLiteral("S5_FavoriteList"));
    return line;
}

ProxyServerInfo* PortBindings::bookS5Uncharged(const QString& ip, int port)
{
    clearPortFromOtherLines(ip, port);
    ProxyServerInfo* line = zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Today, Plan::S5), ip);
    if (line) {
        freeOldSlot(line, port);
    } else if ((line = zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Favourite, Plan::S5), ip))) {
        freeOldSlot(line, port);
        enterToday(line, Plan::S5, false);
    } else {
        qDebug() << "ip" << ip << "unknown trace!!";
        return nullptr;
    }
    fillSlots(line, port, zq::kPlanS5, true);
    return line;
}

ProxyServerInfo* PortBindings::bookResidential(const QString& ip, int port)
{
    qDebug() << ip << port;
    QList<QObject*>& lineList = m_lines->mutableLines(Plan::ResiTraffic);
    ProxyServerInfo* line = zq::catalogue::LineRecords::findByIp(lineList, ip);
    if (line) {
        lineList.removeOne(line);
        enterToday(line, Plan::ResiTraffic, true);
    } else if ((line = zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Today, Plan::ResiTraffic), ip))) {
        freeOldSlot(line, port);
        applyBindStamp(line);
    } else if ((line = zq::catalogue::LineRecords::findByIp(m_lists->list(Kind::Favourite, Plan::ResiTraffic), ip))) {
        freeOldSlot(line, port);
        enterToday(line, Plan::ResiTraffic, true);
    } else {
        return nullptr;
    }
    clearPortFromOtherLines(ip, port);
    fillSlots(line, port, zq::kPlanResiTraffic, false);
    promoteFavourite(line, Plan::ResiTraffic, QStringLiteral("ResidentTraffic_FavoriteList"));
    return line;
}

} // namespace zq::ports
