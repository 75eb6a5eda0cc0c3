#pragma once
// The today lists against the service and the helper: fetching the service's record of today's
// bindings and merging it with the lists in memory (one-day and six-hour rules, lines bound from
// other devices), taking the helper's actual port bindings, and binding every today line to its
// port again after the helper (re)starts. The records are SavedLists' (it alone deletes them);
// this object merges into its lists and hands replaced records to SavedLists::release.

#include "formfields.h"
#include "linerecords.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrlQuery>
#include <functional>

class PayloadCodec;
class ProxyServerInfo;

namespace zq {
class ServiceAddresses;
}

namespace zq::lists {

class SavedLists;
using zq::catalogue::Plan;

// Binding work the re-bind passes hand back to the port subsystem.
struct Rebinder {
    std::function<void(const QString& sessionId, const QString& ip, int port, const QString& server, const QString& sn,
        int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable)>
        setPortSession;
    std::function<void(const QString& sessionId, const QString& ip, int port, const QString& server, const QString& sn,
        int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable)>
        setPortSessionS5U;
    std::function<void(const QString& sessionId, const QString& ip, int port, const QString& server, const QString& sn,
        const QString& area, const QString& region, bool usable, const QString& planTypeKey)>
        setPortSessionResiTraffic;
    std::function<void()> compareIpAndPortState;
    std::function<int()> programPort;
    std::function<bool(int port)> inRange;
    // Milliseconds between two re-binds (events are processed meanwhile).
    int pauseMs = 100;
};

class TodayLists : public QObject {
    Q_OBJECT
public:
    // lists and codec outlive this object.
    TodayLists(SavedLists* lists, const PayloadCodec* codec, const QString& unionId, QObject* parent = nullptr);

    void setAddresses(const zq::ServiceAddresses* addresses) { m_addresses = addresses; }
    void setPoster(zq::catalogue::Poster poster) { m_post = std::move(poster); }
    // GET to the helper (its today list).
    void setGetter(std::function<void(const QString& url, const QUrlQuery& query)> getter)
    {
        m_get = std::move(getter);
    }
    void setRebinder(Rebinder rebinder) { m_rebind = std::move(rebinder); }

    void getTodayList(const QString& plantype);
    void getUnlimitTodayList(const QString& type);
    void getTodayListV2();
    void dealTodayList(const QJsonObject& reply, const QString& tag);
    void dealHelperTodayList(const QJsonObject& reply);

    void setAllTodayPortSession();
    void setAllTodayUnlimitPortSession();

    // "Country-City-State" with "random" for missing parts: the area a re-bind sends.
    static QString areaOf(const ProxyServerInfo* line);

signals:
    void getTodayListStatus(bool status, QString message);
    void getTodayResiTrafficStatus(bool status, QString message);
    void getTodayUnlimitListStatus(bool status, QString message);

private:
    void merge(Plan plan, const QJsonObject& reply);
    void emitStatus(Plan plan, bool status, const QString& message);

    SavedLists* m_lists;
    const PayloadCodec* m_codec;
    QString m_unionId;
    const zq::ServiceAddresses* m_addresses = nullptr;
    zq::catalogue::Poster m_post;
    std::function<void(const QString&, const QUrlQuery&)> m_get;
    Rebinder m_rebind;
};

} // namespace zq::lists
