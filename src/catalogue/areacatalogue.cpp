#include "areacatalogue.h"

#include "endpoints.h"
#include "payloadcodec.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>

namespace zq::catalogue {

namespace {

// Area names are searched through their case-folded copies; the ASN table directly.
bool contains(const QString& text, const QString& part)
{
    return text.contains(part, Qt::CaseInsensitive);
}

QStringList sorted(QStringList names)
{
    names.sort(Qt::CaseSensitive);
    return names;
}

QString text(const QJsonObject& obj, const char* key)
{
    return obj.value(QLatin1String(key)).toString();
}

} // namespace

AreaCatalogue::AreaCatalogue(const PayloadCodec* codec, const QString& configDir, QObject* parent)
    : QObject(parent)
    , m_codec(codec)
    , m_configDir(configDir)
{
}

QString AreaCatalogue::areaFilePath() const
{
    return m_configDir + QStringLiteral("/areaList.json");
}

void AreaCatalogue::getAreaList()
{
    if (m_post && m_addresses)
        m_post(m_addresses->url(ep::AreaList), FormFields(), QString());
}

void AreaCatalogue::dealAreaList(const QJsonObject& reply, bool fromNetwork)
{
    m_countries.clear();
    m_citiesByName.clear();
    if (reply.value(QLatin1String("code")).toInt() != 0) {
        emit getAreaListStatus(false, QString());
        return;
    }
    // A reply without a list is damaged: caching it would wipe the good file.
    const QJsonValue data = reply.value(QLatin1String("data"));
    if (!data.isArray()) {
        qDebug() << "area list reply without a data array";
        emit getAreaListStatus(false, QString());
        return;
    }
    if (fromNetwork)
        saveAreaList(reply);

    const QJsonArray countries = data.toArray();
    m_countries.reserve(countries.size());
    for (const QJsonValue& countryValue : countries) {
        // Entries without a name (wrong types included) cannot be chosen: skipped, the rest kept.
        const QJsonObject countryObj = countryValue.toObject();
        Country country { text(countryObj, "code"), text(countryObj, "name"), {}, {} };
        if (country.name.isEmpty())
            continue;
        country.folded = country.name.toCaseFolded();
        const QJsonArray states = countryObj.value(QLatin1String("state_list")).toArray();
        country.states.reserve(states.size());
        for (const QJsonValue& stateValue : states) {
            const QJsonObject stateObj = stateValue.toObject();
            State state { text(stateObj, "code"), text(stateObj, "name"), {}, {} };
            if (state.name.isEmpty())
                continue;
            state.folded = state.name.toCaseFolded();
            const QJsonArray cities = stateObj.value(QLatin1String("city_list")).toArray();
            for (const QJsonValue& cityValue : cities) {
                const QJsonObject cityObj = cityValue.toObject();
                City city { text(cityObj, "code"), text(cityObj, "name"), {} };
                city.folded = city.name.toCaseFolded();
                if (!city.name.isEmpty())
                    state.cities.append(city);
            }
            country.states.append(state);
        }
        m_countries.append(country);
    }
    indexCities();
    qDebug() << "country num=" << m_countries.size();
    emit getAreaListStatus(true, QString());
}

bool AreaCatalogue::saveAreaList(const QJsonObject& reply)
{
    const QString json = QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
    const QByteArray content = m_codec->encode(json.toUtf8()).toUtf8();
    // Written beside and renamed over the old file, so a failed write leaves the old cache intact;
    // flushed first, because a write cut short shows only in the flush, never in commit().
    QSaveFile file(areaFilePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.flush() || !file.commit()) {
        qDebug() << "saveAreaList fail!";
        emit proxyClientMessage(areaFilePath() + QStringLiteral("File save err:") + file.errorString());
        file.cancelWriting();
        return false;
    }
    qDebug() << "saveAreaList succ";
    return true;
}

bool AreaCatalogue::readAreaList()
{
    QFile file(areaFilePath());
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "open file fail ";
        return false;
    }
    qDebug() << "open file succ";
    const QString content = QString::fromUtf8(file.readAll());
    const QJsonDocument doc = QJsonDocument::fromJson(m_codec->decode(content));
    if (doc.isObject())
        dealAreaList(doc.object(), false);
    return true;
}

bool AreaCatalogue::readASNInfo(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QString content = QString::fromUtf8(file.readAll());
    if (content.startsWith(QChar(0xFEFF)))
        content.remove(0, 1);
    // Records end with CR LF; a lone LF or CR (a file edited elsewhere) also ends one, so that no
    // line break ever becomes part of a name.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    const QStringList records = content.split(lineEnd, Qt::KeepEmptyParts);
    for (const QString& record : records) {
        const QStringList fields = record.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (fields.size() == 2)
            m_asn.append(AsnEntry { fields[0], fields[1] });
    }
    qDebug() << "asnList size = " << m_asn.size();
    return true;
}

QString AreaCatalogue::asnCodeFor(const QString& isp) const
{
    for (const AsnEntry& entry : m_asn) {
        if (entry.name == isp)
            return entry.code;
    }
    return QString();
}

QStringList AreaCatalogue::searchAsn(const QString& asn) const
{
    QStringList names;
    for (const AsnEntry& entry : m_asn) {
        if (!entry.name.isEmpty() && contains(entry.name, asn))
            names.append(entry.name);
    }
    qDebug() << "ASN个数:" << names.size();
    return sorted(names);
}

QStringList AreaCatalogue::getCountryNameList() const
{
    QStringList names;
    names.reserve(m_countries.size());
    for (const Country& country : m_countries)
        names.append(country.name);
    return sorted(names);
}

QStringList AreaCatalogue::searchCountryNameList(const QString& cName) const
{
    const QString part = cName.toCaseFolded();
    QStringList names;
    for (const Country& country : m_countries) {
        if (country.folded.contains(part))
            names.append(country.name);
    }
    qDebug() << "国家个数:" << names.size();
    return sorted(names);
}

QStringList AreaCatalogue::stateNames(const QString& cName, const QString& sName) const
{
    const QString countryPart = cName.toCaseFolded();
    const QString statePart = sName.toCaseFolded();
    QStringList names;
    for (const Country& country : m_countries) {
        if (!country.folded.contains(countryPart))
            continue;
        for (const State& state : country.states) {
            if (state.folded.contains(statePart))
                names.append(state.name);
        }
    }
    return sorted(names);
}

void AreaCatalogue::indexCities()
{
    for (int c = 0; c < m_countries.size(); ++c) {
        const QVector<State>& states = m_countries.at(c).states;
        for (int s = 0; s < states.size(); ++s) {
            for (int i = 0; i < states.at(s).cities.size(); ++i)
                m_citiesByName.append({ c, s, i });
        }
    }
    const auto name = [this](const CityRef& r) -> const QString& {
        return m_countries.at(r.country).states.at(r.state).cities.at(r.city).name;
    };
    std::stable_sort(m_citiesByName.begin(), m_citiesByName.end(),
        [&name](const CityRef& a, const CityRef& b) { return name(a) < name(b); });
}

QStringList AreaCatalogue::cityNames(const QString& coName, const QString& sName, const QString& cName) const
{
    const QString countryPart = coName.toCaseFolded();
    const QString statePart = sName.toCaseFolded();
    const QString cityPart = cName.toCaseFolded();
    // Which states pass the country and state filters, decided once per state.
    QVector<QVector<bool>> statePasses(m_countries.size());
    for (int c = 0; c < m_countries.size(); ++c) {
        const Country& country = m_countries.at(c);
        const bool countryPasses = country.folded.contains(countryPart);
        statePasses[c].resize(country.states.size());
        for (int s = 0; s < country.states.size(); ++s)
            statePasses[c][s] = countryPasses && country.states.at(s).folded.contains(statePart);
    }
    QStringList names;
    for (const CityRef& ref : m_citiesByName) {
        if (!statePasses.at(ref.country).at(ref.state))
            continue;
        const City& city = m_countries.at(ref.country).states.at(ref.state).cities.at(ref.city);
        if (city.folded.contains(cityPart))
            names.append(city.name);
    }
    return names;
}

QStringList AreaCatalogue::getStateNameList(const QString& cName) const
{
    qDebug() << "getStateNameList:" << cName;
    return stateNames(cName, QString());
}

QStringList AreaCatalogue::searchStateNameList(const QString& cName, const QString& sName) const
{
    const QStringList names = stateNames(cName, sName);
    qDebug() << "state num=" << names.size();
    return names;
}

QStringList AreaCatalogue::getCityNameList(const QString& cName, const QString& sName) const
{
    return cityNames(cName, sName, QString());
}

QStringList AreaCatalogue::searchCityNameList(const QString& coName, const QString& sName, const QString& cName) const
{
    const QStringList names = cityNames(coName, sName, cName);
    qDebug() << "city num=:" << names.size();
    return names;
}

} // namespace zq::catalogue
