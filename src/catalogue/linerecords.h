#pragma once
// Turning line objects of service replies into records, and releasing records of replaced lists.

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>

class PayloadCodec;
class ProxyServerInfo;
class QObject;

namespace zq::catalogue {

// The three plans a line list exists for.
enum class Plan { S5, Unlimited, ResiTraffic };

namespace LineRecords {

// "a.b.c.d" -> "a.b.***.***"; anything that does not split into four dot parts gives an empty text.
QString maskIp(const QString& ip);

// MD5 (lower-case hex) of the decoded server number followed by the union id: the id a binding uses.
QString sessionId(const QString& encodedSn, const PayloadCodec& codec, const QString& unionId);

// Copies the nine address fields every line object carries, then "server_region" when present.
void readAddressFields(ProxyServerInfo* record, const QJsonObject& obj);

// One element of a line-list reply as a record: id, ping, address fields, the plan's extra key,
// region, zeroed binding, online, session id, other-device flag and masked IP. The record has no
// parent and is owned by C++ (QML never collects it).
ProxyServerInfo* fromLineObject(
    const QJsonObject& obj, int index, int ping, Plan plan, const PayloadCodec& codec, const QString& unionId);

// The first record of list with this IP, or null.
ProxyServerInfo* findByIp(const QList<QObject*>& list, const QString& ip);

// One record per server number from a reply: the first one stays unless a later one was bound
// from this machine (own), which replaces it. The record that loses is deleted.
void keepOnePerServer(
    QMap<QString, ProxyServerInfo*>& byServer, const QString& plainSn, ProxyServerInfo* record, bool own);

// Schedules deletion of records a list no longer holds. Call after the status signal that makes
// views re-read; records for which stillHeld() answers true (another list or a port slot) survive.
void releaseLater(const QList<QObject*>& records, const std::function<bool(QObject*)>& stillHeld = {});

} // namespace LineRecords
} // namespace zq::catalogue
