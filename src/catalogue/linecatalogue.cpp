#include "linecatalogue.h"

#include "areacatalogue.h"
#include "constants.h"
#include "endpoints.h"
#include "linelistsort.h"
#include "logmask.h"
#include "payloadcodec.h"
#include "proxyserverinfo.h"
#include "userinfo.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <random>

namespace zq::catalogue {

namespace {

// "random" and the empty text mean no preference for a place.
bool noPreference(const QString& value)
{
    return value.isEmpty() || value == QLatin1String("random");
}

QByteArray placeValue(const QString& value)
{
    return noPreference(value) ? QByteArray() : value.toUtf8();
}

const char* handlerLabel(Plan plan)
{
    switch (plan) {
    case Plan::S5:
        return "dealProxyServerInfo:";
    case Plan::ResiTraffic:
        return "dealProxyServerResidentTrafficInfo:";
    case Plan::Unlimited:
        return "dealProxyServerUnlimitInfo:";
    }
    return "";
}

} // namespace

LineCatalogue::LineCatalogue(
    const PayloadCodec* codec, const QString& unionId, const AreaCatalogue* areas, QObject* parent)
    : QObject(parent)
    , m_codec(codec)
    , m_unionId(unionId)
    , m_areas(areas)
{
    for (int i = 0; i < 3; ++i) {
        m_today[i] = &m_ownToday[i];
        m_favourite[i] = &m_ownFavourite[i];
    }
    m_sortable.insert(QStringLiteral("S5_ProxyList"), &m_lines[index(Plan::S5)]);
    m_sortable.insert(QStringLiteral("ResidentTraffic_ProxyList"), &m_lines[index(Plan::ResiTraffic)]);
    setTodayList(Plan::S5, &m_ownToday[index(Plan::S5)]);
    setTodayList(Plan::ResiTraffic, &m_ownToday[index(Plan::ResiTraffic)]);
    setFavouriteList(Plan::S5, &m_ownFavourite[index(Plan::S5)]);
    setFavouriteList(Plan::ResiTraffic, &m_ownFavourite[index(Plan::ResiTraffic)]);
}

void LineCatalogue::setTodayList(Plan plan, QList<QObject*>* list)
{
    m_today[index(plan)] = list ? list : &m_ownToday[index(plan)];
    if (plan == Plan::S5)
        m_sortable.insert(QStringLiteral("S5_TodayList"), m_today[index(plan)]);
    else if (plan == Plan::ResiTraffic)
        m_sortable.insert(QStringLiteral("ResidentTraffic_TodayList"), m_today[index(plan)]);
}

void LineCatalogue::setFavouriteList(Plan plan, QList<QObject*>* list)
{
    m_favourite[index(plan)] = list ? list : &m_ownFavourite[index(plan)];
    if (plan == Plan::S5)
        m_sortable.insert(QStringLiteral("S5_FavoriteList"), m_favourite[index(plan)]);
    else if (plan == Plan::ResiTraffic)
        m_sortable.insert(QStringLiteral("ResidentTraffic_FavoriteList"), m_favourite[index(plan)]);
}

// ---- queries ----

QString LineCatalogue::requestTag(LineQuery query)
{
    return query == LineQuery::ResiTraffic ? zq::kKeyResiTraffic : QString();
}

FormFields LineCatalogue::queryFields(LineQuery query, const LineFilter& filter) const
{
    FormFields fields;
    fields.append({ QStringLiteral("num"), QByteArray::number(filter.num) });
    if (query != LineQuery::Unlimited) {
        if (noPreference(filter.countryName)) {
            fields.append({ QStringLiteral("country"), QByteArray() });
        } else if (m_areas) {
            // Every country of that name is asked for; an unknown name leaves the country open.
            for (const Country& country : m_areas->countries()) {
                if (country.name == filter.countryName)
                    fields.append({ QStringLiteral("country"), country.code.toUtf8() });
            }
        }
        fields.append({ QStringLiteral("city"), placeValue(filter.cityName) });
        fields.append({ QStringLiteral("state"), placeValue(filter.stateName) });
        fields.append({ QStringLiteral("postal"), placeValue(filter.zipNum) });
    }
    if (query == LineQuery::V2 || query == LineQuery::ResiTraffic) {
        if (filter.isp.isEmpty()) {
            fields.append({ QStringLiteral("isp"), QByteArray() });
        } else {
            const QString code = m_areas ? m_areas->asnCodeFor(filter.isp) : QString();
            if (!code.isNull()) {
                qDebug() << "asnCode = " << code;
                fields.append({ QStringLiteral("isp"), code.toUtf8() });
            }
        }
        fields.append({ QStringLiteral("startip"), filter.startIp.toUtf8() });
        fields.append({ QStringLiteral("endip"), filter.endIp.toUtf8() });
    }
    const UserInfo* user = UserInfo::instance();
    // The oldest query scrambles the account with a codec of its own.
    const QString encodedUser = query == LineQuery::Legacy ? PayloadCodec().encodeText(user->getUserName())
                                                           : m_codec->encodeText(user->getUserName());
    fields.append({ QStringLiteral("user"), encodedUser.toUtf8() });
    fields.append({ QStringLiteral("pwd"), user->getPwd().toUtf8() });
    if (query == LineQuery::ResiTraffic)
        fields.append({ QStringLiteral("plantype"), filter.type.toUtf8() });
    else if (query == LineQuery::Unlimited)
        fields.append({ QStringLiteral("plantype"), zq::kPlanTypeUnlimited.toUtf8() });
    qDebug() << "user:" << encodedUser;
    qDebug() << "pwd:" << zq::logmask::masked(user->getPwd());
    return fields;
}

void LineCatalogue::post(LineQuery query, const LineFilter& filter)
{
    const FormFields fields = queryFields(query, filter);
    if (!m_post || !m_addresses)
        return;
    const Endpoint& endpoint = query == LineQuery::Unlimited ? ep::UnlimitLineList : ep::LineList;
    m_post(m_addresses->url(endpoint), fields, requestTag(query));
}

void LineCatalogue::getLineList(const LineFilter& filter)
{
    qDebug() << "countryName:" << filter.countryName << "stateName:" << filter.stateName
             << "cityName:" << filter.cityName << "zipNum:" << filter.zipNum << "num:" << filter.num;
    post(LineQuery::Legacy, filter);
}

void LineCatalogue::getLineListV2(const LineFilter& filter)
{
    qDebug() << "countryName:" << filter.countryName << "stateName:" << filter.stateName
             << "cityName:" << filter.cityName << "zipNum:" << filter.zipNum << "isp:" << filter.isp
             << "ip range:" << filter.startIp << filter.endIp << "num:" << filter.num;
    post(LineQuery::V2, filter);
}

void LineCatalogue::getResiTrafficLineList(const LineFilter& filter)
{
    qDebug() << "countryName:" << filter.countryName << "stateName:" << filter.stateName
             << "cityName:" << filter.cityName << "zipNum:" << filter.zipNum << "isp:" << filter.isp
             << "ip range:" << filter.startIp << filter.endIp << "num:" << filter.num << "type:" << filter.type;
    post(LineQuery::ResiTraffic, filter);
}

void LineCatalogue::getUnlimitLineList(int num)
{
    qDebug() << "num:" << num;
    LineFilter filter;
    filter.num = num;
    post(LineQuery::Unlimited, filter);
}

// ---- replies ----

void LineCatalogue::dealProxyServerInfo(const QJsonObject& reply)
{
    dealLines(Plan::S5, reply);
}

void LineCatalogue::dealProxyServerResidentTrafficInfo(const QJsonObject& reply)
{
    dealLines(Plan::ResiTraffic, reply);
}

void LineCatalogue::dealProxyServerUnlimitInfo(const QJsonObject& reply)
{
    dealLines(Plan::Unlimited, reply);
}

void LineCatalogue::emitStatus(Plan plan, bool status, const QString& message)
{
    switch (plan) {
    case Plan::S5:
        emit getLineListStatus(status, message);
        break;
    case Plan::ResiTraffic:
        emit getResiTrafficListStatus(status, message);
        break;
    case Plan::Unlimited:
        emit getUnlimitLineListStatus(status, message);
        break;
    }
}

void LineCatalogue::dealLines(Plan plan, const QJsonObject& reply)
{
    // Short replies are logged whole; a reply with 100 elements or more never is short.
    QByteArray compact;
    if (reply.value(QLatin1String("data")).toArray().size() < 100)
        compact = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    if (plan == Plan::ResiTraffic)
        qDebug() << handlerLabel(plan) << reply;
    else if (!compact.isEmpty() && compact.size() < 100)
        qDebug() << handlerLabel(plan) << compact;
    else
        qDebug() << handlerLabel(plan);

    if (reply.value(QLatin1String("code")).toInt() != 0) {
        emitStatus(plan, false, reply.value(QLatin1String("msg")).toString());
        return;
    }

    QList<QObject*>& list = m_lines[index(plan)];
    const QList<QObject*> replaced = list;
    list.clear();
    const QJsonArray data = reply.value(QLatin1String("data")).toArray();
    qDebug() << (plan == Plan::Unlimited ? "get_unlimit_line_list data num=" : "get_line_list data num=")
             << data.size();

    const quint32 seed = static_cast<quint32>(QDateTime::currentSecsSinceEpoch());
    std::mt19937 generator(seed);

    QSet<QString> todayIps;
    for (QObject* object : *m_today[index(plan)]) {
        if (const auto* record = qobject_cast<ProxyServerInfo*>(object))
            todayIps.insert(record->getIp());
    }

    list.reserve(data.size());
    for (int i = 0; i < data.size(); ++i) {
        const QJsonObject obj = data.at(i).toObject();
        quint32 draw = generator();
        if (plan == Plan::S5)
            draw += seed;
        const int ping = int(draw % 80) + 20;
        ProxyServerInfo* record = LineRecords::fromLineObject(obj, i, ping, plan, *m_codec, m_unionId);

        if (plan == Plan::Unlimited) {
            const QString key = record->getPlanType();
            if (key.size() < 10)
                qDebug() << "plan_type_key err=" << key << obj.value(QLatin1String("ip")).toString();
            if (i % 25 == 0)
                qDebug() << "plan_type_key" << key;
        } else if (i % 10 == 0) {
            qDebug() << record->getIsp() << record->getRegion() << record->getIp();
        }

        // Lines already in today's list are shown there, not twice.
        if (todayIps.contains(record->getIp())) {
            delete record;
            continue;
        }
        record->setParent(this);
        list.append(record);
    }
    emitStatus(plan, true, QString());
    // Views re-read in answer to the signal; only then may the old records go.
    const QSet<QObject*> held = heldRecords();
    LineRecords::releaseLater(
        replaced, [this, &held](QObject* record) { return held.contains(record) || (m_retain && m_retain(record)); });
}

QSet<QObject*> LineCatalogue::heldRecords() const
{
    QSet<QObject*> held;
    auto add = [&held](const QList<QObject*>& list) {
        for (QObject* record : list)
            held.insert(record);
    };
    for (int i = 0; i < 3; ++i) {
        add(m_lines[i]);
        add(*m_today[i]);
        add(*m_favourite[i]);
    }
    return held;
}

// ---- sorting ----

void LineCatalogue::LineListSort(const QString& listName, const QString& orderBy)
{
    QList<QObject*>* list = m_sortable.value(listName);
    if (list)
        sortLines(*list, orderBy);
}

} // namespace zq::catalogue
