#include "linerecords.h"

#include "payloadcodec.h"
#include "proxyserverinfo.h"

#include <QCryptographicHash>
#include <QQmlEngine>
#include <QStringList>

namespace zq::catalogue::LineRecords {

QString maskIp(const QString& ip)
{
    const QVector<QStringRef> parts = ip.splitRef(QLatin1Char('.'));
    if (parts.size() != 4)
        return QString();
    return parts[0] + QLatin1Char('.') + parts[1] + QStringLiteral(".***.***");
}

QString sessionId(const QString& encodedSn, const PayloadCodec& codec, const QString& unionId)
{
    const QString plainSn = QString::fromUtf8(codec.decode(encodedSn));
    return QString::fromLatin1(QCryptographicHash::hash((plainSn + unionId).toUtf8(), QCryptographicHash::Md5).toHex());
}

void readAddressFields(ProxyServerInfo* record, const QJsonObject& obj)
{
    record->setCountry(obj.value(QLatin1String("country")).toString());
    record->setCity(obj.value(QLatin1String("city")).toString());
    record->setZip(obj.value(QLatin1String("postal")).toString());
    record->setIsp(obj.value(QLatin1String("isp")).toString());
    record->setIso(obj.value(QLatin1String("iso")).toString());
    record->setProxyIp(obj.value(QLatin1String("server")).toString());
    record->setSn(obj.value(QLatin1String("sn")).toString());
    record->setIp(obj.value(QLatin1String("ip")).toString());
    record->setState(obj.value(QLatin1String("state")).toString());
}

ProxyServerInfo* fromLineObject(
    const QJsonObject& obj, int index, int ping, Plan plan, const PayloadCodec& codec, const QString& unionId)
{
    auto* record = new ProxyServerInfo;
    QQmlEngine::setObjectOwnership(record, QQmlEngine::CppOwnership);
    record->setId(index);
    record->setPing(ping);
    readAddressFields(record, obj);
    const QString planKey = obj.value(QLatin1String("plan_type_key")).toString();
    if (plan == Plan::ResiTraffic)
        record->setPlanTypeKey(planKey);
    if (obj.contains(QLatin1String("server_region")))
        record->setRegion(obj.value(QLatin1String("server_region")).toString());
    if (plan == Plan::Unlimited)
        record->setPlanType(planKey);
    record->setBindPort(0);
    record->setBindTime(0);
    record->setOnLine(true);
    record->setSessionId(sessionId(record->getSn(), codec, unionId));
    record->setIsFromOtherDevice(true);
    const QString masked = maskIp(record->getIp());
    if (!masked.isEmpty())
        record->setHideIp(masked);
    return record;
}

ProxyServerInfo* findByIp(const QList<QObject*>& list, const QString& ip)
{
    for (QObject* object : list) {
        auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (line && line->getIp() == ip)
            return line;
    }
    return nullptr;
}

void keepOnePerServer(
    QMap<QString, ProxyServerInfo*>& byServer, const QString& plainSn, ProxyServerInfo* record, bool own)
{
    auto existing = byServer.find(plainSn);
    if (existing == byServer.end()) {
        byServer.insert(plainSn, record);
    } else if (own) {
        delete existing.value();
        existing.value() = record;
    } else {
        delete record;
    }
}

void releaseLater(const QList<QObject*>& records, const std::function<bool(QObject*)>& stillHeld)
{
    for (QObject* record : records) {
        if (record && !(stillHeld && stillHeld(record)))
            record->deleteLater();
    }
}

} // namespace zq::catalogue::LineRecords
