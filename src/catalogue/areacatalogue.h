#pragma once
// Countries with their states and cities (from the service, cached in "areaList.json") and the
// ASN table from "asn.txt": what the line filters offer and how their names become codes.

#include "formfields.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

class PayloadCodec;

namespace zq {
class ServiceAddresses;
}

namespace zq::catalogue {

struct City {
    QString code;
    QString name;
    QString folded; // name.toCaseFolded(), for case-insensitive search
};

struct State {
    QString code;
    QString name;
    QString folded;
    QVector<City> cities;
};

struct Country {
    QString code;
    QString name;
    QString folded;
    QVector<State> states;
};

struct AsnEntry {
    QString code;
    QString name;
};

class AreaCatalogue : public QObject {
    Q_OBJECT
public:
    // codec is the Controller's and outlives the catalogue; configDir holds "areaList.json".
    AreaCatalogue(const PayloadCodec* codec, const QString& configDir, QObject* parent = nullptr);

    void setPoster(Poster poster) { m_post = std::move(poster); }
    // Where the service is; the Controller's table, which outlives the catalogue.
    void setAddresses(const ServiceAddresses* addresses) { m_addresses = addresses; }

    QString areaFilePath() const;

    // Asks the service for the area list; the reply comes back through dealAreaList.
    void getAreaList();
    // Area reply handler: replaces the list; a network reply that holds a list is cached first.
    void dealAreaList(const QJsonObject& reply, bool fromNetwork = true);
    bool saveAreaList(const QJsonObject& reply);
    // false only when the file cannot be opened.
    bool readAreaList();

    // Appends the records of asn.txt; false when the file cannot be opened.
    bool readASNInfo(const QString& path);
    // The ASN code of the first entry named exactly isp, or a null text.
    QString asnCodeFor(const QString& isp) const;

    const QVector<Country>& countries() const { return m_countries; }
    const QVector<AsnEntry>& asnList() const { return m_asn; }

    QStringList searchAsn(const QString& asn) const;
    QStringList getCountryNameList() const;
    QStringList searchCountryNameList(const QString& cName) const;
    QStringList getStateNameList(const QString& cName) const;
    QStringList searchStateNameList(const QString& cName, const QString& sName) const;
    QStringList getCityNameList(const QString& cName, const QString& sName) const;
    QStringList searchCityNameList(const QString& coName, const QString& sName, const QString& cName) const;

signals:
    void getAreaListStatus(bool status, QString message);
    void proxyClientMessage(QString msg);

private:
    QStringList stateNames(const QString& cName, const QString& sName) const;
    QStringList cityNames(const QString& coName, const QString& sName, const QString& cName) const;

    const PayloadCodec* m_codec;
    QString m_configDir;
    const ServiceAddresses* m_addresses = nullptr;
    Poster m_post;
    void indexCities();

    QVector<Country> m_countries;
    // Every city in name order, so city queries come out sorted without sorting each time.
    struct CityRef {
        int country;
        int state;
        int city;
    };
    QVector<CityRef> m_citiesByName;
    QVector<AsnEntry> m_asn;
};

} // namespace zq::catalogue
