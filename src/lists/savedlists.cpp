#include "savedlists.h"

#include "clock.h"
#include "linelistsort.h"
#include "linerecords.h"
#include "payloadcodec.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "userinfo.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlEngine>
#include <QSaveFile>
#include <QSet>

#include <random>

namespace zq::lists {

namespace {

constexpr qint64 kSixHours = 21600;
constexpr qint64 kOneDay = 86400;

// How one reader differs from its siblings.
struct ReaderRules {
    const char* label; // log label of the reader
    const char* sizeLabel; // list name its final size line uses
    bool readsBindType;
    bool readsRemarks;
    bool planKeyToPlanTypeKey; // residential: the key the binding passes on
    bool planKeyToPlanType; // unlimited: the key is the line's plan word
    qint64 portWindow;
    const char* portPlanWord;
    bool logsData;
};

ReaderRules rulesFor(Kind kind, Plan plan)
{
    if (kind == Kind::Today) {
        switch (plan) {
        case Plan::S5:
            return { "readTodayListInfo:", "proxyTodayServerInfoList", true, false, false, false, kSixHours, "S5",
                true };
        case Plan::ResiTraffic:
            return { "readTodayResidentTrafficListInfo:", "proxyTodayServerInfoList", true, false, true, false,
                kSixHours, "Resi Traffic", true };
        case Plan::Unlimited:
            return { "readTodayUnlimitListInfo:", "proxyTodayUnlimtSerList", false, false, false, true, kOneDay,
                "S5Unlimited", false };
        }
    }
    switch (plan) {
    case Plan::S5:
        return { "readFavouriteListInfo:", "proxyFavouriteInfoList", false, true, false, false, kSixHours, "S5",
            false };
    case Plan::ResiTraffic:
        // The residential favourite reader marks re-attached ports as "S5", as the port view expects.
        return { "readFavouriteResidentTrafficListInfo:", "proxyFavouriteInfoList", false, true, true, false, kSixHours,
            "S5", true };
    case Plan::Unlimited:
        break;
    }
    return { "readFavouriteUnlimitListInfo:", "proxyFavouriteUnlimitInfoList", false, false, false, true, kOneDay,
        "S5Unlimited", false };
}

QJsonObject toJson(const ProxyServerInfo* r)
{
    QJsonObject obj;
    obj.insert(QStringLiteral("id"), r->getId());
    obj.insert(QStringLiteral("server"), r->getProxyIp());
    obj.insert(QStringLiteral("country"), r->getCountry());
    obj.insert(QStringLiteral("city"), r->getCity());
    obj.insert(QStringLiteral("postal"), r->getZip());
    obj.insert(QStringLiteral("isp"), r->getIsp());
    obj.insert(QStringLiteral("iso"), r->getIso());
    obj.insert(QStringLiteral("sn"), r->getSn());
    obj.insert(QStringLiteral("ip"), r->getIp());
    obj.insert(QStringLiteral("state"), r->getState());
    obj.insert(QStringLiteral("bindPort"), r->getBindPort());
    obj.insert(QStringLiteral("bindTime"), r->getBindTime());
    obj.insert(QStringLiteral("bindType"), r->getBindType());
    obj.insert(QStringLiteral("onLine"), r->getOnLine());
    obj.insert(QStringLiteral("sessionId"), r->getSessionId());
    obj.insert(QStringLiteral("isFromOtherDevice"), r->getIsFromOtherDevice());
    obj.insert(QStringLiteral("server_region"), r->getRegion());
    // Unlimited lines keep their plan key as the plan type; without it they could not be bound again.
    obj.insert(QStringLiteral("plan_type_key"), r->getPlanTypeKey().isEmpty() ? r->getPlanType() : r->getPlanTypeKey());
    obj.insert(QStringLiteral("remarks"), r->getRemark());
    return obj;
}

// Keeps the damaged file for inspection under a name no save writes to.
void moveAside(const QString& path)
{
    const QString stamp = QDateTime::fromSecsSinceEpoch(zq::clock::now()).toString(QStringLiteral("yyyyMMddhhmmss"));
    QString target = path + QStringLiteral(".damaged-") + stamp;
    for (int n = 1; QFile::exists(target); ++n)
        target = path + QStringLiteral(".damaged-") + stamp + QLatin1Char('-') + QString::number(n);
    if (QFile::rename(path, target))
        qDebug() << "damaged list file" << path << "moved to" << target;
    else
        qDebug() << "damaged list file" << path << "could not be moved aside";
}

} // namespace

SavedLists::SavedLists(const PayloadCodec* codec, const QString& dataDir, QObject* parent)
    : QObject(parent)
    , m_codec(codec)
    , m_dataDir(dataDir)
{
}

SavedLists::~SavedLists() = default;

QString SavedLists::suffix(Kind kind, Plan plan)
{
    static const char* const names[6] = { "_todayList.json", "_todayUnlimitList.json", "_todayResidentTrafficList.json",
        "_favouriteList.json", "_favouriteUnlimitList.json", "_favouriteResidentTrafficList.json" };
    return QString::fromLatin1(names[index(kind, plan)]);
}

QString SavedLists::listName(Kind kind, Plan plan)
{
    static const char* const names[6]
        = { "proxyTodayServerInfoList", "proxyTodayUnlimtSerList", "proxyTodayResiTrafficSerList",
              "proxyFavouriteInfoList", "proxyFavouriteUnlimitInfoList", "proxyFavouriteResiTrafficInfoList" };
    return QString::fromLatin1(names[index(kind, plan)]);
}

QString SavedLists::filePath(Kind kind, Plan plan, const QString& userName) const
{
    return m_dataDir + QLatin1Char('/') + userName + suffix(kind, plan);
}

bool SavedLists::saveJsonFile(const QList<QObject*>& list, const QString& path)
{
    // Duplicates by IP are written once, the first occurrence winning; the list itself keeps them.
    QList<QObject*> copy;
    copy.reserve(list.size());
    QSet<QString> seen;
    for (QObject* obj : list) {
        if (const auto* record = qobject_cast<ProxyServerInfo*>(obj)) {
            if (seen.contains(record->getIp())) {
                qDebug() << "ip=" << record->getIp() << "is repeat!";
                continue;
            }
            seen.insert(record->getIp());
        }
        copy.append(obj);
    }

    QJsonArray array;
    for (QObject* obj : qAsConst(copy)) {
        if (const auto* record = qobject_cast<ProxyServerInfo*>(obj))
            array.append(toJson(record));
    }
    const QByteArray json = QJsonDocument(array).toJson(QJsonDocument::Compact);
    const QByteArray content = m_codec->encode(json).toUtf8();

    // Written beside and renamed over the old file: a crash or a full disk keeps the old list.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    // A write cut short shows only in the flush, so flush before commit() renames the file.
    if (ok && (file.write(content) != content.size() || !file.flush())) {
        ok = false;
        file.cancelWriting();
    }
    if (ok)
        ok = file.commit();
    if (!ok) {
        const QString error = file.errorString();
        emit proxyClientMessage(path + QStringLiteral("File save err:") + error);
        qDebug() << "err:" << error << "num=" << copy.size() << list;
        return false;
    }
    qDebug() << path << "num=" << copy.size() << "succ";
    return true;
}

bool SavedLists::save(Kind kind, Plan plan)
{
    return saveJsonFile(list(kind, plan), filePath(kind, plan, UserInfo::instance()->getUserName()));
}

bool SavedLists::read(Kind kind, Plan plan, const QString& fileName)
{
    const ReaderRules rules = rulesFor(kind, plan);
    const QString path = m_dataDir + QLatin1Char('/') + fileName;
    qDebug() << rules.label << path;

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << path << "not exist";
        return false;
    }
    const QByteArray raw = file.readAll();
    file.close();
    QString text = QString::fromUtf8(raw);
    // Unscrambled JSON is told apart by the word "lineInfo"; anything else is codec text.
    if (!text.contains(QLatin1String("lineInfo")))
        text = QString::fromUtf8(m_codec->decode(text));
    if (rules.logsData)
        qDebug() << "data:" << text;

    QList<QObject*>& target = list(kind, plan);
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isArray()) {
        // An empty file is an empty list; anything else unreadable is kept aside so the next
        // save does not destroy what might still be recovered.
        if (!raw.trimmed().isEmpty())
            moveAside(path);
        return true;
    }

    const qint64 now = zq::clock::now();
    std::mt19937 generator(static_cast<std::mt19937::result_type>(now));
    const QJsonArray array = doc.array();
    for (int n = 0; n < array.size(); ++n) {
        const QJsonObject obj = array.at(n).toObject();
        auto* record = new ProxyServerInfo(this);
        QQmlEngine::setObjectOwnership(record, QQmlEngine::CppOwnership);
        record->setPing(int(generator() % 80 + 20));
        record->setId(obj.contains(QLatin1String("id")) ? obj.value(QLatin1String("id")).toInt() : n);
        zq::catalogue::LineRecords::readAddressFields(record, obj);
        record->setBindPort(obj.value(QLatin1String("bindPort")).toInt());
        record->setBindTime(obj.value(QLatin1String("bindTime")).toInt());
        record->setOnLine(obj.value(QLatin1String("onLine")).toBool());
        record->setSessionId(obj.value(QLatin1String("sessionId")).toString());
        record->setIsFromOtherDevice(obj.value(QLatin1String("isFromOtherDevice")).toBool());
        if (obj.contains(QLatin1String("server_region")))
            record->setRegion(obj.value(QLatin1String("server_region")).toString());
        if (rules.readsBindType)
            record->setBindType(obj.value(QLatin1String("bindType")).toString());
        if (rules.readsRemarks)
            record->setRemark(obj.value(QLatin1String("remarks")).toString());
        const QString planKey = obj.value(QLatin1String("plan_type_key")).toString();
        if (rules.planKeyToPlanTypeKey)
            record->setPlanTypeKey(planKey);
        if (rules.planKeyToPlanType) {
            record->setPlanType(planKey);
            if (planKey.size() < 10)
                qDebug() << obj.value(QLatin1String("ip")).toString() << "plan_type_key err=" << planKey;
        }
        record->setIsExpired(false);

        const qint64 age = now - record->getBindTime();
        if (kind == Kind::Today && plan == Plan::Unlimited && age > kOneDay)
            record->setBindPort(0);
        if (kind == Kind::Favourite && plan == Plan::Unlimited)
            target.append(record);

        PortInfo* slot = attach(record, rules.portWindow, QString::fromLatin1(rules.portPlanWord), now);

        if (kind == Kind::Today && plan == Plan::Unlimited) {
            // Only lines still bound to a port of this machine are worth keeping.
            if (slot) {
                qDebug() << "port=" << slot->getPort() << "used=" << slot->getUsed()
                         << "planType=" << slot->getPlanType();
                target.append(record);
            } else {
                delete record;
            }
        } else if (kind == Kind::Today) {
            if (age >= kOneDay) {
                delete record;
                continue;
            }
            if (age >= kSixHours)
                record->setBindPort(0); // the helper has let the binding lapse
            else
                record->setIsExpired(false);
            target.append(record);
            zq::catalogue::sortLines(target, QStringLiteral("ID"));
        } else if (plan != Plan::Unlimited) {
            target.append(record);
        }
    }

    qDebug() << rules.sizeLabel << "size=" << target.size();
    if (kind == Kind::Favourite && plan != Plan::Unlimited)
        zq::catalogue::sortLines(target, QStringLiteral("ID"));
    return true;
}

PortInfo* SavedLists::attach(ProxyServerInfo* record, qint64 window, const QString& planWord, qint64 now)
{
    if (!m_ports)
        return nullptr;
    for (PortInfo* slot : m_ports->list()) {
        if (slot->getPort() != record->getBindPort() || now - record->getBindTime() >= window)
            continue;
        slot->setUsed(true);
        slot->setPlanType(planWord);
        slot->setLineInfo(record);
        slot->setOperateTime(uint(record->getBindTime()));
        record->setIsExpired(false);
        return slot;
    }
    return nullptr;
}

void SavedLists::reloadForAccount(const QString& userName)
{
    const std::pair<Kind, Plan> order[4] = { { Kind::Today, Plan::S5 }, { Kind::Today, Plan::ResiTraffic },
        { Kind::Favourite, Plan::S5 }, { Kind::Favourite, Plan::ResiTraffic } };
    QList<QObject*> dropped;
    for (const auto& [kind, plan] : order) {
        dropped += list(kind, plan);
        list(kind, plan).clear();
    }
    release(dropped);
    for (const auto& [kind, plan] : order)
        read(kind, plan, userName + suffix(kind, plan));
}

bool SavedLists::holds(const QObject* record) const
{
    for (const QList<QObject*>& l : m_lists) {
        if (l.contains(const_cast<QObject*>(record)))
            return true;
    }
    return false;
}

void SavedLists::release(const QList<QObject*>& records)
{
    for (QObject* record : records) {
        if (!record || m_releasing.contains(record) || holds(record) || (m_retain && m_retain(record)))
            continue;
        // Remembered until destroyed, so a second release of the same record schedules nothing.
        m_releasing.insert(record);
        connect(record, &QObject::destroyed, this, [this, record] { m_releasing.remove(record); });
        record->deleteLater();
    }
}

void SavedLists::adopt(ProxyServerInfo* record)
{
    if (!record)
        return;
    record->setParent(this);
    QQmlEngine::setObjectOwnership(record, QQmlEngine::CppOwnership);
}

} // namespace zq::lists
