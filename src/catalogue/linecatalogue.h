#pragma once
// The three line lists (S5, unlimited, residential): building each plan's query, turning replies
// into records, the duplicate filter against the plan's today list, and sorting by list name.
//
// Ownership: a record of a line list belongs to the catalogue until a saved list adopts it (see
// SavedLists). The catalogue deletes a record its list no longer holds, unless the retain check
// says another owner's list still does. Views, port slots and search results hold records by
// QPointer only and never keep one alive.

#include "formfields.h"
#include "linerecords.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class PayloadCodec;

namespace zq {
class ServiceAddresses;
}

namespace zq::catalogue {

class AreaCatalogue;

// The filters of one line query, as the interface passes them.
struct LineFilter {
    QString countryName;
    QString stateName;
    QString cityName;
    QString zipNum;
    QString isp;
    QString startIp;
    QString endIp;
    int num = 20;
    QString type = QStringLiteral("flow");
};

// Which of the four queries a form is built for.
enum class LineQuery { Legacy, V2, ResiTraffic, Unlimited };

class LineCatalogue : public QObject {
    Q_OBJECT
public:
    // codec, areas and addresses are the Controller's and outlive the catalogue.
    LineCatalogue(
        const PayloadCodec* codec, const QString& unionId, const AreaCatalogue* areas, QObject* parent = nullptr);

    void setPoster(Poster poster) { m_post = std::move(poster); }
    void setAddresses(const ServiceAddresses* addresses) { m_addresses = addresses; }

    // The today lists the duplicate filter checks, and the today and favourite lists LineListSort
    // may order; owned by the saved-lines work. Until set, empty lists of this catalogue stand in.
    void setTodayList(Plan plan, QList<QObject*>* list);
    void setFavouriteList(Plan plan, QList<QObject*>* list);
    // Extra owners (port slots) a replaced record must not be freed from.
    void setRetainCheck(std::function<bool(QObject*)> check) { m_retain = std::move(check); }

    void getLineList(const LineFilter& filter);
    void getLineListV2(const LineFilter& filter);
    void getResiTrafficLineList(const LineFilter& filter);
    void getUnlimitLineList(int num);

    // The form a query sends, field by field in wire order.
    FormFields queryFields(LineQuery query, const LineFilter& filter) const;
    static QString requestTag(LineQuery query);

    void dealProxyServerInfo(const QJsonObject& reply);
    void dealProxyServerResidentTrafficInfo(const QJsonObject& reply);
    void dealProxyServerUnlimitInfo(const QJsonObject& reply);

    QList<QObject*> lines(Plan plan) const { return m_lines[index(plan)]; }
    // The list itself, for binding work that moves records out of it or drops them.
    QList<QObject*>& mutableLines(Plan plan) { return m_lines[index(plan)]; }

    // Sorts a list by its name ("S5_ProxyList", "ResidentTraffic_TodayList", ...); unknown names
    // and keys do nothing.
    void LineListSort(const QString& listName, const QString& orderBy);

signals:
    void getLineListStatus(bool status, QString message);
    void getUnlimitLineListStatus(bool status, QString message);
    void getResiTrafficListStatus(bool status, QString message);

private:
    static int index(Plan plan) { return static_cast<int>(plan); }
    void post(LineQuery query, const LineFilter& filter);
    void dealLines(Plan plan, const QJsonObject& reply);
    void emitStatus(Plan plan, bool status, const QString& message);
    // Every record a list still holds.
    QSet<QObject*> heldRecords() const;

    const PayloadCodec* m_codec;
    QString m_unionId;
    const AreaCatalogue* m_areas;
    const ServiceAddresses* m_addresses = nullptr;
    Poster m_post;
    std::function<bool(QObject*)> m_retain;

    QList<QObject*> m_lines[3];
    QList<QObject*> m_ownToday[3];
    QList<QObject*> m_ownFavourite[3];
    QList<QObject*>* m_today[3];
    QList<QObject*>* m_favourite[3];
    QHash<QString, QList<QObject*>*> m_sortable;
};

} // namespace zq::catalogue
