#pragma once
// Binding lines to local ports through the helper, and what its answers change: the request
// builders with their refusals, the outcome of a bind (today list, port slot, favourites, files),
// and releasing one port, all ports or a new range.

#include "formfields.h"
#include "linerecords.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class PayloadCodec;
class PortInfo;
class ProxyServerInfo;

namespace zq {
class ServiceAddresses;
}
namespace zq::catalogue {
class LineCatalogue;
}
namespace zq::lists {
class SavedLists;
}

namespace zq::ports {

class PortTable;
using zq::catalogue::Plan;

class PortBindings : public QObject {
    Q_OBJECT
public:
    // All five are the Controller's and outlive this object.
    PortBindings(PortTable* ports, zq::lists::SavedLists* lists, zq::catalogue::LineCatalogue* lines,
        const PayloadCodec* codec, const zq::ServiceAddresses* addresses, QObject* parent = nullptr);

    void setPoster(zq::catalogue::Poster poster) { m_post = std::move(poster); }
    // Asked 3000 ms after a charged S5 bind: the account's IP count.
    void setIpCountRefresh(std::function<void()> refresh) { m_refreshIpCount = std::move(refresh); }

    // --- requests ---
    void setPortSession(const QString& sessionId, const QString& ip, int port, const QString& server, const QString& sn,
        int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable);
    void setPortSessionS5U(const QString& sessionId, const QString& ip, int port, const QString& server,
        const QString& sn, int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable);
    void setPortSessionResiTraffic(const QString& sessionId, const QString& ip, int port, const QString& server,
        const QString& sn, const QString& area, const QString& region, bool usable, const QString& planTypeKey);
    void checkSnIsExist(const QString& sn, const QString& serverIp, const QString& username, const QString& sessionId);

    void freeOneProxyPort(int port);
    void freeProxyPort();
    int freeResidentTrafficPort();
    void resetPort(const QString& startPort, const QString& portNum);

    // --- replies ---
    void dealSetPortSesssion(const QJsonObject& reply, const QString& tag);
    // A bind request that failed in transport: drop the lines still waiting for an address.
    void dealSetPortSessionFailed();
    void dealSnIsExist(const QJsonObject& reply, const QString& sn);
    void dealFreeOneProxyPort(const QJsonObject& reply, const QString& tag);
    void dealFreeProxyPort(const QJsonObject& reply);

    QString lastBindIp() const { return m_lastBindIp; }
    // The port-forward view's slots, cleared by releases with the port table. Held weakly: the
    // table deletes the slots a new range drops.
    QList<QPointer<PortInfo>>& portForwardList() { return m_forwardList; }

signals:
    void setPortSessionStatus(bool status, QString message, QString ip);
    void getUserIpNumsStatus(bool status, QString message);
    void bindPortForProgramProxyStatus(bool status, QString message);
    void userNoIpNums();
    void userNoValidTime();
    void userNoIpTraffic();
    void freeOnePortStatus(bool status, QString message, int port);
    void freePortStatus(bool status, QString message);

private:
    // The port to bind: `port` itself, or the first free slot for 0 (0 when the range is full).
    int choosePort(int port) const;
    void reportFull(bool later);
    void stamp(int port);
    void post(const QString& endpointPath, const zq::catalogue::FormFields& fields, const QString& tag);
    zq::catalogue::FormFields bindFields(const QString& sessionId, const QString& ip, int port, const QString& server,
        const QString& sn, int openPort, const QString& area, const QString& region) const;

    // Outcome bookkeeping; each returns the line now bound, or null when the IP is nowhere.
    ProxyServerInfo* bookS5Charged(const QString& ip, int port);
    ProxyServerInfo* bookS5Uncharged(const QString& ip, int port);
    ProxyServerInfo* bookResidential(const QString& ip, int port);
    // Moves the line to the front of a today list with a fresh id (and the bind stamp).
    void enterToday(ProxyServerInfo* line, Plan plan, bool stampIt);
    void freeOldSlot(ProxyServerInfo* line, int newPort);
    void clearPortFromOtherLines(const QString& ip, int port);
    void fillSlots(ProxyServerInfo* line, int port, const QString& planType, bool firstOnly);
    // The favourite entry of this IP gives way to the today record at the front.
    void promoteFavourite(ProxyServerInfo* line, Plan plan, const QString& listName);
    void clearLinePort(ProxyServerInfo* line);
    void clearSlotAndLine(PortInfo* slot);

    PortTable* m_ports;
    zq::lists::SavedLists* m_lists;
    zq::catalogue::LineCatalogue* m_lines;
    const PayloadCodec* m_codec;
    const zq::ServiceAddresses* m_addresses;
    zq::catalogue::Poster m_post;
    std::function<void()> m_refreshIpCount;
    QString m_lastBindIp;
    QList<QPointer<PortInfo>> m_forwardList;
};

} // namespace zq::ports
