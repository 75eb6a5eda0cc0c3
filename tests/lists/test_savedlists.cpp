// The saved lists: file format, the readers' keep and re-attachment rules, damaged files and
// record release.

#include "clock.h"
#include "payloadcodec.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QQmlEngine>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using zq::lists::Kind;
using zq::lists::Plan;
using zq::lists::SavedLists;

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Plan)

namespace {

constexpr int kFirstPort = 41000;
constexpr qint64 kHour = 3600;

// The nineteen keys of a line object, in the order QJsonObject::keys() gives them.
QStringList fileKeys()
{
    QStringList keys { "id", "server", "country", "city", "postal", "isp", "iso", "sn", "ip", "state", "bindPort",
        "bindTime", "bindType", "onLine", "sessionId", "isFromOtherDevice", "server_region", "plan_type_key",
        "remarks" };
    keys.sort();
    return keys;
}

// A record with every field set to a value of its own.
ProxyServerInfo* makeRecord(const QString& ip, int bindTime, int bindPort, int id = 5)
{
    auto* r = new ProxyServerInfo;
    r->setId(id);
    r->setPing(42);
    r->setProxyIp("srv.example");
    r->setCountry("Japan");
    r->setCity("Ōsaka");
    r->setZip("530-0001");
    r->setIsp("Ispco");
    r->setIso("JP");
    r->setSn("c24tZW5jb2RlZA==");
    r->setIp(ip);
    r->setState("Kansai");
    r->setHideIp("masked");
    r->setBindTime(bindTime);
    r->setBindPort(bindPort);
    r->setBindType("API");
    r->setOnLine(true);
    r->setSessionId("0123456789abcdef");
    r->setIsExpired(true);
    r->setIsFromOtherDevice(true);
    r->setRegion("ap-east");
    r->setPlanType("word");
    r->setRemark("my remark");
    r->setPlanTypeKey("resi_key_0123456789");
    return r;
}

ProxyServerInfo* at(const QList<QObject*>& list, int i)
{
    return qobject_cast<ProxyServerInfo*>(list.value(i));
}

} // namespace

class TestSavedLists : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roundTrip_data();
    void roundTrip();
    void duplicatesWrittenOnce();
    void emptyListWritesEmptyArray();
    void unlimitedPlanTypeSurvives();
    void missingIdTakesPosition_data();
    void missingIdTakesPosition();
    void todayAges_data();
    void todayAges();
    void unlimitedKeeps_data();
    void unlimitedKeeps();
    void plainJsonWithLineInfo();
    void damagedFileMovedAside_data();
    void damagedFileMovedAside();
    void emptyFileIsEmptyList();
    void missingFile();
    void unwritablePath();
    void referenceCodecDecodes();
    void reloadForAccount();
    void release_data();
    void release();

private:
    QString path(const QString& name) const { return m_dir->path() + '/' + name; }
    void writeRaw(const QString& name, const QByteArray& content);
    QByteArray readRaw(const QString& name) const;
    QJsonArray writtenArray(const QString& name) const;
    void writeArray(const QString& name, const QJsonArray& array);
    QStringList damagedCopies() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    PayloadCodec m_codec;
    std::unique_ptr<zq::ports::PortTable> m_ports;
    std::unique_ptr<SavedLists> m_lists;
};

void TestSavedLists::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_ports = std::make_unique<zq::ports::PortTable>();
    m_ports->setStartPort(kFirstPort);
    m_ports->setPortNum(3);
    m_ports->createPortInfoList({}, {});
    QCOMPARE(m_ports->list().size(), 3);
    m_lists = std::make_unique<SavedLists>(&m_codec, m_dir->path());
    m_lists->setPortTable(m_ports.get());
    UserInfo::instance()->setUserName("alice");
}

void TestSavedLists::cleanup()
{
    zq::clock::setOffset(0);
    m_lists.reset();
    m_ports.reset();
    m_dir.reset();
}

void TestSavedLists::writeRaw(const QString& name, const QByteArray& content)
{
    QFile file(path(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray TestSavedLists::readRaw(const QString& name) const
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonArray TestSavedLists::writtenArray(const QString& name) const
{
    return QJsonDocument::fromJson(m_codec.decode(QString::fromUtf8(readRaw(name)))).array();
}

void TestSavedLists::writeArray(const QString& name, const QJsonArray& array)
{
    writeRaw(name, m_codec.encode(QJsonDocument(array).toJson(QJsonDocument::Compact)).toUtf8());
}

QStringList TestSavedLists::damagedCopies() const
{
    return QDir(m_dir->path()).entryList({ "*.damaged-*" }, QDir::Files);
}

void TestSavedLists::roundTrip_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Plan>("plan");
    QTest::addColumn<bool>("bindType");
    QTest::addColumn<bool>("remark");
    QTest::addColumn<QString>("planTypeKey");
    QTest::addColumn<QString>("planType");
    QTest::addColumn<QString>("portWord");

    const QString key = "resi_key_0123456789";
    QTest::newRow("today S5") << Kind::Today << Plan::S5 << true << false << ""
                              << ""
                              << "S5";
    QTest::newRow("today resi") << Kind::Today << Plan::ResiTraffic << true << false << key << ""
                                << "Resi Traffic";
    QTest::newRow("today unlimited") << Kind::Today << Plan::Unlimited << false << false << "" << key << "S5Unlimited";
    QTest::newRow("favourite S5") << Kind::Favourite << Plan::S5 << false << true << ""
                                  << ""
                                  << "S5";
    // The residential favourite reader marks its ports "S5".
    QTest::newRow("favourite resi") << Kind::Favourite << Plan::ResiTraffic << false << true << key << ""
                                    << "S5";
    QTest::newRow("favourite unlimited") << Kind::Favourite << Plan::Unlimited << false << false << "" << key
                                         << "S5Unlimited";
}

void TestSavedLists::roundTrip()
{
    QFETCH(Kind, kind);
    QFETCH(Plan, plan);
    QFETCH(bool, bindType);
    QFETCH(bool, remark);
    QFETCH(QString, planTypeKey);
    QFETCH(QString, planType);
    QFETCH(QString, portWord);

    const int bindTime = int(zq::clock::now() - 2 * kHour);
    auto* saved = makeRecord("10.0.0.1", bindTime, kFirstPort + 1);
    m_lists->adopt(saved);
    m_lists->list(kind, plan).append(saved);
    QVERIFY(m_lists->save(kind, plan));
    const QString name = "alice" + SavedLists::suffix(kind, plan);
    QVERIFY(QFile::exists(path(name)));
    const QByteArray raw = readRaw(name);
    QVERIFY(!raw.endsWith('\n'));
    QCOMPARE(writtenArray(name).first().toObject().keys(), fileKeys());

    SavedLists reader(&m_codec, m_dir->path());
    reader.setPortTable(m_ports.get());
    QVERIFY(reader.read(kind, plan, name));
    QCOMPARE(reader.list(kind, plan).size(), 1);
    ProxyServerInfo* r = at(reader.list(kind, plan), 0);
    QVERIFY(r);
    QCOMPARE(r->parent(), &reader);
    QCOMPARE(r->getId(), 5);
    QVERIFY(r->getPing() >= 20 && r->getPing() <= 99);
    QCOMPARE(r->getProxyIp(), QString("srv.example"));
    QCOMPARE(r->getCountry(), QString("Japan"));
    QCOMPARE(r->getCity(), QString("Ōsaka"));
    QCOMPARE(r->getZip(), QString("530-0001"));
    QCOMPARE(r->getIsp(), QString("Ispco"));
    QCOMPARE(r->getIso(), QString("JP"));
    QCOMPARE(r->getSn(), QString("c24tZW5jb2RlZA=="));
    QCOMPARE(r->getIp(), QString("10.0.0.1"));
    QCOMPARE(r->getState(), QString("Kansai"));
    QCOMPARE(r->getBindTime(), bindTime);
    QCOMPARE(r->getBindPort(), kFirstPort + 1);
    QCOMPARE(r->getOnLine(), true);
    QCOMPARE(r->getSessionId(), QString("0123456789abcdef"));
    QCOMPARE(r->getIsFromOtherDevice(), true);
    QCOMPARE(r->getRegion(), QString("ap-east"));
    QCOMPARE(r->getIsExpired(), false);
    QCOMPARE(r->getHideIp(), QString());
    QCOMPARE(r->getBindType(), bindType ? QString("API") : QString());
    QCOMPARE(r->getRemark(), remark ? QString("my remark") : QString());
    QCOMPARE(r->getPlanTypeKey(), planTypeKey);
    QCOMPARE(r->getPlanType(), planType);

    // Still bound: the slot of its port shows it again, and only that slot.
    const PortInfo* slot = m_ports->list().at(1);
    QVERIFY(slot->getUsed());
    QCOMPARE(slot->getPlanType(), portWord);
    QCOMPARE(slot->getLineInfo(), static_cast<QObject*>(r));
    QCOMPARE(slot->getOperateTime(), uint(bindTime));
    QVERIFY(!m_ports->list().at(0)->getUsed());
    QVERIFY(!m_ports->list().at(2)->getUsed());
}

void TestSavedLists::duplicatesWrittenOnce()
{
    auto* first = makeRecord("10.0.0.1", 100, 0);
    first->setCity("first");
    auto* other = makeRecord("10.0.0.2", 100, 0);
    auto* second = makeRecord("10.0.0.1", 100, 0);
    second->setCity("second");
    QObject foreign;
    QList<QObject*> list { first, &foreign, other, second };
    for (auto* r : { first, other, second })
        m_lists->adopt(r);

    QVERIFY(m_lists->saveJsonFile(list, path("dup.json")));
    const QJsonArray written = writtenArray("dup.json");
    QCOMPARE(written.size(), 2);
    QCOMPARE(written.at(0).toObject().value("city").toString(), QString("first"));
    QCOMPARE(written.at(1).toObject().value("ip").toString(), QString("10.0.0.2"));
    QCOMPARE(list.size(), 4);
}

void TestSavedLists::emptyListWritesEmptyArray()
{
    QVERIFY(m_lists->save(Kind::Favourite, Plan::S5));
    const QByteArray raw = readRaw("alice_favouriteList.json");
    QVERIFY(!raw.isEmpty());
    QVERIFY(!raw.endsWith('\n'));
    QCOMPARE(m_codec.decode(QString::fromUtf8(raw)), QByteArray("[]"));
    QVERIFY(m_lists->read(Kind::Favourite, Plan::S5, "alice_favouriteList.json"));
    QVERIFY(m_lists->list(Kind::Favourite, Plan::S5).isEmpty());
    QVERIFY(damagedCopies().isEmpty());
}

void TestSavedLists::unlimitedPlanTypeSurvives()
{
    // An unlimited line carries its plan key as its plan type; the file must keep it.
    auto* line = new ProxyServerInfo;
    line->setIp("10.0.0.7");
    line->setPlanType("unlimited-plan-key-01");
    m_lists->adopt(line);
    m_lists->list(Kind::Favourite, Plan::Unlimited).append(line);
    QVERIFY(m_lists->save(Kind::Favourite, Plan::Unlimited));
    m_lists->list(Kind::Favourite, Plan::Unlimited).clear();
    QVERIFY(m_lists->read(Kind::Favourite, Plan::Unlimited, "alice_favouriteUnlimitList.json"));
    QCOMPARE(at(m_lists->list(Kind::Favourite, Plan::Unlimited), 0)->getPlanType(), QString("unlimited-plan-key-01"));
}

void TestSavedLists::missingIdTakesPosition_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Plan>("plan");
    QTest::addColumn<QList<int>>("ids");

    // Unlimited lists keep file order; the others sort by id, highest first.
    QTest::newRow("favourite unlimited") << Kind::Favourite << Plan::Unlimited << QList<int> { 0, 7, 2 };
    QTest::newRow("favourite S5") << Kind::Favourite << Plan::S5 << QList<int> { 7, 2, 0 };
    QTest::newRow("today resi") << Kind::Today << Plan::ResiTraffic << QList<int> { 7, 2, 0 };
}

void TestSavedLists::missingIdTakesPosition()
{
    QFETCH(Kind, kind);
    QFETCH(Plan, plan);
    QFETCH(QList<int>, ids);

    const int now = int(zq::clock::now());
    writeArray("ids.json",
        { QJsonObject { { "ip", "1.1.1.1" }, { "bindTime", now } },
            QJsonObject { { "ip", "1.1.1.2" }, { "bindTime", now }, { "id", 7 } },
            QJsonObject { { "ip", "1.1.1.3" }, { "bindTime", now } } });
    QVERIFY(m_lists->read(kind, plan, "ids.json"));
    const QList<QObject*>& list = m_lists->list(kind, plan);
    QList<int> read;
    for (QObject* r : list)
        read << qobject_cast<ProxyServerInfo*>(r)->getId();
    QCOMPARE(read, ids);
    // Missing keys read as empty, zero and false.
    QCOMPARE(at(list, 0)->getBindPort(), 0);
    QCOMPARE(at(list, 0)->getOnLine(), false);
    QCOMPARE(at(list, 0)->getCity(), QString());
    QCOMPARE(at(list, 0)->getRegion(), QString());
}

void TestSavedLists::todayAges_data()
{
    QTest::addColumn<Plan>("plan");
    QTest::addColumn<qint64>("age");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<int>("bindPort");
    QTest::addColumn<QString>("portWord");

    for (const auto& [plan, name, word] :
        { std::make_tuple(Plan::S5, "S5", "S5"), std::make_tuple(Plan::ResiTraffic, "resi", "Resi Traffic") }) {
        const QByteArray n(name);
        auto row = [&n](const char* age) -> QTestData& { return QTest::newRow((n + age).constData()); };
        row(" 2h") << plan << 2 * kHour << true << kFirstPort << QString(word);
        row(" 6h") << plan << 6 * kHour << true << 0 << QString();
        row(" 7h") << plan << 7 * kHour << true << 0 << QString();
        row(" 24h") << plan << 24 * kHour << false << 0 << QString();
        row(" 25h") << plan << 25 * kHour << false << 0 << QString();
    }
}

void TestSavedLists::todayAges()
{
    QFETCH(Plan, plan);
    QFETCH(qint64, age);
    QFETCH(bool, kept);
    QFETCH(int, bindPort);
    QFETCH(QString, portWord);

    auto* r = makeRecord("10.0.0.9", int(zq::clock::now()), kFirstPort);
    m_lists->adopt(r);
    QVERIFY(m_lists->saveJsonFile({ r }, path("today.json")));
    zq::clock::setOffset(age);

    SavedLists reader(&m_codec, m_dir->path());
    reader.setPortTable(m_ports.get());
    QVERIFY(reader.read(Kind::Today, plan, "today.json"));
    const QList<QObject*>& list = reader.list(Kind::Today, plan);
    QCOMPARE(list.size(), kept ? 1 : 0);
    if (kept) {
        QCOMPARE(at(list, 0)->getBindPort(), bindPort);
        QCOMPARE(at(list, 0)->getIsExpired(), false);
    }
    const PortInfo* slot = m_ports->list().first();
    QCOMPARE(slot->getUsed(), !portWord.isEmpty());
    QCOMPARE(slot->getPlanType(), portWord);
    QCOMPARE(slot->getLineInfo(), portWord.isEmpty() ? nullptr : list.value(0));
}

void TestSavedLists::unlimitedKeeps_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("ips");

    QTest::newRow("today") << Kind::Today << QStringList { "10.0.0.1" };
    QTest::newRow("favourite") << Kind::Favourite << QStringList { "10.0.0.1", "10.0.0.2", "10.0.0.3" };
}

void TestSavedLists::unlimitedKeeps()
{
    QFETCH(Kind, kind);
    QFETCH(QStringList, ips);

    const int now = int(zq::clock::now());
    QList<QObject*> records { makeRecord("10.0.0.1", now - 20 * kHour, kFirstPort + 2), // in the one-day window
        makeRecord("10.0.0.2", now - kHour, kFirstPort + 50), // no such port
        makeRecord("10.0.0.3", now - 25 * kHour, kFirstPort) }; // too old to re-attach
    for (QObject* r : records)
        m_lists->adopt(qobject_cast<ProxyServerInfo*>(r));
    QVERIFY(m_lists->saveJsonFile(records, path("unlimited.json")));

    SavedLists reader(&m_codec, m_dir->path());
    reader.setPortTable(m_ports.get());
    QVERIFY(reader.read(kind, Plan::Unlimited, "unlimited.json"));
    QStringList read;
    for (QObject* r : reader.list(kind, Plan::Unlimited))
        read << qobject_cast<ProxyServerInfo*>(r)->getIp();
    QCOMPARE(read, ips);
    QCOMPARE(m_ports->list().at(2)->getPlanType(), QString("S5Unlimited"));
    QVERIFY(!m_ports->list().at(0)->getUsed());
    // Dropped records do not linger as children of the lists.
    QCOMPARE(reader.findChildren<ProxyServerInfo*>().size(), ips.size());
}

void TestSavedLists::plainJsonWithLineInfo()
{
    writeRaw("plain.json", R"([{"ip":"9.9.9.9","id":4,"lineInfo":"legacy","remarks":"kept"}])");
    QVERIFY(m_lists->read(Kind::Favourite, Plan::S5, "plain.json"));
    const QList<QObject*>& list = m_lists->list(Kind::Favourite, Plan::S5);
    QCOMPARE(list.size(), 1);
    QCOMPARE(at(list, 0)->getIp(), QString("9.9.9.9"));
    QCOMPARE(at(list, 0)->getId(), 4);
    QCOMPARE(at(list, 0)->getRemark(), QString("kept"));
    QVERIFY(damagedCopies().isEmpty());
}

void TestSavedLists::damagedFileMovedAside_data()
{
    QTest::addColumn<QByteArray>("content");

    PayloadCodec other;
    other.setKey(PayloadCodec::driverKey());
    const QByteArray list = R"([{"ip":"1.2.3.4"}])";
    QTest::newRow("garbage") << QByteArray("\x01\x02 not a list at all");
    QTest::newRow("truncated") << m_codec.encode(list).left(20).toUtf8();
    QTest::newRow("object, not array") << m_codec.encode(R"({"ip":"1.2.3.4"})").toUtf8();
    QTest::newRow("other key") << other.encode(list).toUtf8();
    QTest::newRow("plain, broken") << QByteArray(R"([{"lineInfo":)");
}

void TestSavedLists::damagedFileMovedAside()
{
    QFETCH(QByteArray, content);

    const QString name = "alice_todayList.json";
    writeRaw(name, content);
    QVERIFY(m_lists->read(Kind::Today, Plan::S5, name));
    QVERIFY(m_lists->list(Kind::Today, Plan::S5).isEmpty());
    QCOMPARE(damagedCopies().size(), 1);
    QVERIFY(damagedCopies().first().startsWith(name + ".damaged-"));

    // The next save writes a fresh file and leaves the damaged copy as it was.
    auto* r = makeRecord("10.0.0.1", int(zq::clock::now()), 0);
    m_lists->adopt(r);
    m_lists->list(Kind::Today, Plan::S5).append(r);
    QVERIFY(m_lists->save(Kind::Today, Plan::S5));
    QCOMPARE(writtenArray(name).size(), 1);
    QCOMPARE(readRaw(damagedCopies().first()), content);

    // A second damaged read the same second does not overwrite the first copy.
    writeRaw(name, "junk");
    QVERIFY(m_lists->read(Kind::Today, Plan::S5, name));
    QCOMPARE(damagedCopies().size(), 2);
}

void TestSavedLists::emptyFileIsEmptyList()
{
    writeRaw("empty.json", QByteArray());
    QVERIFY(m_lists->read(Kind::Favourite, Plan::S5, "empty.json"));
    QVERIFY(m_lists->list(Kind::Favourite, Plan::S5).isEmpty());
    QVERIFY(QFile::exists(path("empty.json")));
    QVERIFY(damagedCopies().isEmpty());
}

void TestSavedLists::missingFile()
{
    auto* r = makeRecord("10.0.0.1", 0, 0);
    m_lists->adopt(r);
    m_lists->list(Kind::Favourite, Plan::S5).append(r);
    QVERIFY(!m_lists->read(Kind::Favourite, Plan::S5, "nobody_favouriteList.json"));
    QCOMPARE(m_lists->list(Kind::Favourite, Plan::S5), QList<QObject*> { r });
}

void TestSavedLists::unwritablePath()
{
    QSignalSpy messages(m_lists.get(), &SavedLists::proxyClientMessage);
    const QString target = path("missing-folder/alice_todayList.json");
    auto* r = makeRecord("10.0.0.1", 0, 0);
    m_lists->adopt(r);
    QVERIFY(!m_lists->saveJsonFile({ r }, target));
    QCOMPARE(messages.size(), 1);
    const QString message = messages.first().first().toString();
    QVERIFY2(message.startsWith(target + "File save err:"), qPrintable(message));
    QVERIFY(message.size() > target.size() + 14); // carries the error text
    QVERIFY(!QFile::exists(target));
}

void TestSavedLists::referenceCodecDecodes()
{
#ifndef ZQ_PYTHON
    QSKIP("no Python interpreter");
#else
    QList<QObject*> records { makeRecord("10.0.0.1", 100, 0, 1), makeRecord("10.0.0.2", 200, kFirstPort, 2) };
    for (QObject* r : records)
        m_lists->adopt(qobject_cast<ProxyServerInfo*>(r));
    QVERIFY(m_lists->saveJsonFile(records, path("ref.json")));

    QProcess python;
    python.setStandardInputFile(path("ref.json"));
    python.start(QStringLiteral(ZQ_PYTHON), { QStringLiteral(ZQ_REFERENCE_CODEC), QStringLiteral("decode") });
    QVERIFY(python.waitForFinished(10000));
    QCOMPARE(python.exitCode(), 0);
    const QByteArray plain = python.readAllStandardOutput();
    const QJsonDocument doc = QJsonDocument::fromJson(plain);
    QVERIFY(doc.isArray());
    QCOMPARE(plain, doc.toJson(QJsonDocument::Compact));
    QCOMPARE(doc.array().size(), 2);
    for (const QJsonValue& v : doc.array())
        QCOMPARE(v.toObject().keys(), fileKeys());
    const QJsonObject second = doc.array().at(1).toObject();
    QCOMPARE(second.value("id").toInt(), 2);
    QCOMPARE(second.value("bindPort").toInt(), kFirstPort);
    QCOMPARE(second.value("bindTime").toInt(), 200);
    QCOMPARE(second.value("city").toString(), QString("Ōsaka"));
    QCOMPARE(second.value("onLine").toBool(), true);
#endif
}

void TestSavedLists::reloadForAccount()
{
    const int now = int(zq::clock::now());
    const QList<std::pair<Kind, Plan>> kinds = { { Kind::Today, Plan::S5 }, { Kind::Today, Plan::ResiTraffic },
        { Kind::Favourite, Plan::S5 }, { Kind::Favourite, Plan::ResiTraffic } };
    for (int i = 0; i < kinds.size(); ++i) {
        auto [kind, plan] = kinds.at(i);
        writeArray("bob" + SavedLists::suffix(kind, plan),
            { QJsonObject { { "ip", QString("10.1.0.%1").arg(i) }, { "bindTime", now } } });
    }

    // The old account's lines, one of them shared by two lists, and an unlimited line that stays.
    auto* shared = makeRecord("10.0.0.1", now, 0);
    auto* unlimited = makeRecord("10.0.0.2", now, 0);
    m_lists->adopt(shared);
    m_lists->adopt(unlimited);
    m_lists->list(Kind::Today, Plan::S5).append(shared);
    m_lists->list(Kind::Favourite, Plan::S5).append(shared);
    m_lists->list(Kind::Today, Plan::Unlimited).append(unlimited);
    QSignalSpy destroyed(shared, &QObject::destroyed);

    m_lists->reloadForAccount("bob");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(destroyed.size(), 1);
    for (int i = 0; i < kinds.size(); ++i) {
        auto [kind, plan] = kinds.at(i);
        const QList<QObject*>& list = m_lists->list(kind, plan);
        QCOMPARE(list.size(), 1);
        QCOMPARE(at(list, 0)->getIp(), QString("10.1.0.%1").arg(i));
    }
    QCOMPARE(m_lists->list(Kind::Today, Plan::Unlimited), QList<QObject*> { unlimited });
}

void TestSavedLists::release_data()
{
    QTest::addColumn<bool>("inFavourite");
    QTest::addColumn<bool>("retained");
    QTest::addColumn<int>("destroyed");

    QTest::newRow("held by nobody") << false << false << 1;
    QTest::newRow("still a favourite") << true << false << 0;
    QTest::newRow("retained elsewhere") << false << true << 0;
}

void TestSavedLists::release()
{
    QFETCH(bool, inFavourite);
    QFETCH(bool, retained);
    QFETCH(int, destroyed);

    auto* r = makeRecord("10.0.0.1", 0, 0);
    m_lists->adopt(r);
    QCOMPARE(r->parent(), m_lists.get());
    QCOMPARE(QQmlEngine::objectOwnership(r), QQmlEngine::CppOwnership);
    m_lists->list(Kind::Today, Plan::S5).append(r);
    if (inFavourite)
        m_lists->list(Kind::Favourite, Plan::S5).append(r);
    m_lists->setRetainCheck([&](QObject* o) { return retained && o == r; });
    QSignalSpy spy(r, &QObject::destroyed);

    // Still in the today list: nothing happens.
    m_lists->release({ r });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(spy.size(), 0);

    m_lists->list(Kind::Today, Plan::S5).removeAll(r);
    m_lists->release({ r, r });
    m_lists->release({ r, nullptr });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(spy.size(), destroyed);
    QCOMPARE(m_lists->holds(r), inFavourite);
}

QTEST_GUILESS_MAIN(TestSavedLists)
#include "test_savedlists.moc"
