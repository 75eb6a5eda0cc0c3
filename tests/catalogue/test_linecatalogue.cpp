// Line records, the line-list handlers, query forms and sorting, without a service.
#include "areacatalogue.h"
#include "linecatalogue.h"
#include "linelistsort.h"
#include "linerecords.h"
#include "payloadcodec.h"
#include "proxyserverinfo.h"
#include "userinfo.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QMetaMethod>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

using namespace zq::catalogue;

namespace {

const QString kUnion = QStringLiteral("0123456789abcdef0123456789abcdef");

QJsonObject line(const QString& ip, const QString& sn = QStringLiteral("SN-1"))
{
    PayloadCodec codec;
    return QJsonObject { { "ip", ip }, { "sn", codec.encodeText(sn) }, { "server", "127.0.0.1:18090" },
        { "country", "Germany" }, { "state", "Berlin" }, { "city", "Berlin" }, { "postal", "10115" },
        { "isp", "Deutsche Telekom" }, { "iso", "DE" }, { "server_region", "eu-central" },
        { "plan_type_key", "unlimit_standard_30d" } };
}

QJsonObject reply(const QJsonArray& data, int code = 0, const QString& msg = QString())
{
    return QJsonObject { { "code", code }, { "msg", msg }, { "data", data } };
}

QStringList names(const FormFields& fields)
{
    QStringList out;
    for (const auto& f : fields)
        out << f.first;
    return out;
}

ProxyServerInfo* rec(QObject* o)
{
    return qobject_cast<ProxyServerInfo*>(o);
}

} // namespace

class TestLineCatalogue : public QObject {
    Q_OBJECT
private slots:
    void recordDefaultsAndSignals();
    void maskIp_data();
    void maskIp();
    void recordFromLineObjectPerPlan();
    void queryFieldsInWireOrder_data();
    void queryFieldsInWireOrder();
    void replacedRecordsAreReleasedAfterStatus();
    void failedReplyKeepsList();
    void duplicateFilterLeavesIdGaps();
    void damagedElements();
    void largeReply();
    void sortKeys();
};

void TestLineCatalogue::recordDefaultsAndSignals()
{
    ProxyServerInfo r;
    QVERIFY(r.parent() == nullptr);
    QCOMPARE(r.getId(), 0);
    QCOMPARE(r.getBindTime(), 0);
    QVERIFY(r.getIp().isEmpty() && r.getRegion().isEmpty() && r.getPlanTypeKey().isEmpty());
    QVERIFY(!r.getOnLine() && !r.getIsExpired() && !r.getIsFromOtherDevice());

    // Signals are declared in this order; QML and the lists rely on one per property.
    const QStringList expected { "idChanged", "proxyIpChanged", "countryChanged", "pingChanged", "cityChanged",
        "zipChanged", "ispChanged", "isoChanged", "snChanged", "ipChanged", "stateChanged", "hideIpChanged",
        "bindTimeChanged", "bindPortChanged", "bindTypeChanged", "onLineChanged", "sessionIdChanged",
        "isExpiredChanged", "isFromOtherDeviceChanged", "proxyServerRegionChanged", "planTypeChanged", "remarkChanged",
        "planTypeKeyChanged" };
    const QMetaObject& mo = ProxyServerInfo::staticMetaObject;
    QStringList signalNames;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        if (mo.method(i).methodType() == QMetaMethod::Signal)
            signalNames << QString::fromLatin1(mo.method(i).name());
    }
    QCOMPARE(signalNames, expected);
    QCOMPARE(mo.propertyCount() - mo.propertyOffset(), 23);

    // Every property: writing the value it already has still notifies once.
    for (int i = mo.propertyOffset(); i < mo.propertyCount(); ++i) {
        const QMetaProperty p = mo.property(i);
        QVERIFY2(p.hasNotifySignal(), p.name());
        QSignalSpy spy(&r, p.notifySignal());
        QVERIFY(p.write(&r, p.read(&r)));
        QCOMPARE(spy.count(), 1);
    }
}

void TestLineCatalogue::maskIp_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("masked");
    QTest::newRow("address") << "1.2.3.4"
                             << "1.2.***.***";
    QTest::newRow("example") << "10.20.30.40"
                             << "10.20.***.***";
    QTest::newRow("three parts") << "1.2.3"
                                 << "";
    QTest::newRow("no dot") << "localhost"
                            << "";
    QTest::newRow("five parts") << "1.2.3.4.5"
                                << "";
    QTest::newRow("ipv6") << "::1"
                          << "";
    QTest::newRow("empty parts") << "..."
                                 << "..***.***";
}

void TestLineCatalogue::maskIp()
{
    QFETCH(QString, ip);
    QFETCH(QString, masked);
    QCOMPARE(LineRecords::maskIp(ip), masked);
}

void TestLineCatalogue::recordFromLineObjectPerPlan()
{
    PayloadCodec codec;
    const QJsonObject obj = line("127.0.2.17", "SN-S5-00017");
    const QString session = QString::fromLatin1(
        QCryptographicHash::hash(QByteArray("SN-S5-00017") + kUnion.toUtf8(), QCryptographicHash::Md5).toHex());

    QScopedPointer<ProxyServerInfo> s5(LineRecords::fromLineObject(obj, 7, 42, Plan::S5, codec, kUnion));
    QCOMPARE(s5->getId(), 7);
    QCOMPARE(s5->getPing(), 42);
    QCOMPARE(s5->getIp(), QStringLiteral("127.0.2.17"));
    QCOMPARE(s5->getHideIp(), QStringLiteral("127.0.***.***"));
    QCOMPARE(s5->getSn(), obj.value("sn").toString()); // kept as sent
    QCOMPARE(s5->getSessionId(), session);
    QCOMPARE(s5->getZip(), QStringLiteral("10115"));
    QCOMPARE(s5->getProxyIp(), QStringLiteral("127.0.0.1:18090"));
    QCOMPARE(s5->getRegion(), QStringLiteral("eu-central"));
    QVERIFY(s5->getOnLine() && s5->getIsFromOtherDevice() && !s5->getIsExpired());
    QVERIFY(s5->getPlanType().isEmpty() && s5->getPlanTypeKey().isEmpty());

    QScopedPointer<ProxyServerInfo> unl(LineRecords::fromLineObject(obj, 0, 20, Plan::Unlimited, codec, kUnion));
    QCOMPARE(unl->getPlanType(), QStringLiteral("unlimit_standard_30d"));
    QVERIFY(unl->getPlanTypeKey().isEmpty());
    QScopedPointer<ProxyServerInfo> resi(LineRecords::fromLineObject(obj, 0, 20, Plan::ResiTraffic, codec, kUnion));
    QCOMPARE(resi->getPlanTypeKey(), QStringLiteral("unlimit_standard_30d"));
    QVERIFY(resi->getPlanType().isEmpty());

    QJsonObject noRegion = obj;
    noRegion.remove("server_region");
    QScopedPointer<ProxyServerInfo> r(LineRecords::fromLineObject(noRegion, 0, 20, Plan::S5, codec, kUnion));
    QVERIFY(r->getRegion().isEmpty());
}

void TestLineCatalogue::queryFieldsInWireOrder_data()
{
    QTest::addColumn<int>("query");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("legacy") << int(LineQuery::Legacy)
                            << QStringList { "num", "country", "city", "state", "postal", "user", "pwd" };
    QTest::newRow("v2") << int(LineQuery::V2)
                        << QStringList { "num", "country", "city", "state", "postal", "isp", "startip", "endip", "user",
                               "pwd" };
    QTest::newRow("resi") << int(LineQuery::ResiTraffic)
                          << QStringList { "num", "country", "city", "state", "postal", "isp", "startip", "endip",
                                 "user", "pwd", "plantype" };
    QTest::newRow("unlimit") << int(LineQuery::Unlimited) << QStringList { "num", "user", "pwd", "plantype" };
}

void TestLineCatalogue::queryFieldsInWireOrder()
{
    QFETCH(int, query);
    QFETCH(QStringList, expected);
    PayloadCodec codec;
    AreaCatalogue areas(&codec, QDir::tempPath());
    LineCatalogue lines(&codec, kUnion, &areas);
    UserInfo::instance()->setUserName(QStringLiteral("demo"));
    UserInfo::instance()->setPwd(QStringLiteral("pwd-as-sent"));
    LineFilter filter;
    const FormFields fields = lines.queryFields(LineQuery(query), filter);
    QCOMPARE(names(fields), expected);
    QCOMPARE(fields.first().second, QByteArray("20"));
    for (const auto& f : fields) {
        if (f.first == "user")
            QCOMPARE(codec.decodeText(QString::fromUtf8(f.second)), QStringLiteral("demo"));
        if (f.first == "pwd")
            QCOMPARE(f.second, QByteArray("pwd-as-sent"));
        if (f.first == "plantype")
            QCOMPARE(f.second, QByteArray(query == int(LineQuery::Unlimited) ? "unlimit" : "flow"));
    }
    QCOMPARE(LineCatalogue::requestTag(LineQuery(query)),
        query == int(LineQuery::ResiTraffic) ? QStringLiteral("ResidentTraffic") : QString());
}

void TestLineCatalogue::replacedRecordsAreReleasedAfterStatus()
{
    PayloadCodec codec;
    LineCatalogue lines(&codec, kUnion, nullptr);
    QList<QObject*> today; // a record bound since moved to the today list must survive
    lines.setTodayList(Plan::S5, &today);
    lines.dealProxyServerInfo(reply({ line("10.0.0.1"), line("10.0.0.2"), line("10.0.0.3") }));
    const QList<QObject*> first = lines.lines(Plan::S5);
    QCOMPARE(first.size(), 3);
    QPointer<QObject> dropped = first[0];
    QPointer<QObject> keptByToday = first[1];
    QPointer<QObject> keptByCheck = first[2];
    lines.setRetainCheck([&](QObject* o) { return o == keptByCheck; });

    bool readInSignal = false;
    connect(&lines, &LineCatalogue::getLineListStatus, this, [&](bool ok) {
        // A view re-reading in answer to the status still finds the old records alive.
        readInSignal = ok && dropped && rec(dropped)->getIp() == "10.0.0.1";
    });
    today.append(keptByToday.data());
    lines.dealProxyServerInfo(reply({ line("10.0.0.9") }));
    QVERIFY(readInSignal);
    QCOMPARE(lines.lines(Plan::S5).size(), 1);
    QTRY_VERIFY(dropped.isNull());
    QVERIFY(!keptByToday.isNull());
    QVERIFY(!keptByCheck.isNull());
    today.clear();

    // Many refreshes leave only the current list alive.
    for (int round = 0; round < 50; ++round)
        lines.dealProxyServerInfo(reply({ line("10.0.1.1"), line("10.0.1.2") }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(lines.findChildren<ProxyServerInfo*>().size(), 2 + 2); // current two, the two kept above
}

void TestLineCatalogue::failedReplyKeepsList()
{
    PayloadCodec codec;
    LineCatalogue lines(&codec, kUnion, nullptr);
    QSignalSpy s5(&lines, &LineCatalogue::getLineListStatus);
    QSignalSpy resi(&lines, &LineCatalogue::getResiTrafficListStatus);
    QSignalSpy unl(&lines, &LineCatalogue::getUnlimitLineListStatus);
    lines.dealProxyServerInfo(reply({ line("1.1.1.1") }));
    lines.dealProxyServerInfo(reply({ line("2.2.2.2") }, 1003, QStringLiteral("no lines left")));
    QCOMPARE(s5.count(), 2);
    QCOMPARE(s5.at(1).at(0).toBool(), false);
    QCOMPARE(s5.at(1).at(1).toString(), QStringLiteral("no lines left"));
    QCOMPARE(rec(lines.lines(Plan::S5).value(0))->getIp(), QStringLiteral("1.1.1.1"));

    // Success with an empty list empties it; each plan answers on its own signal.
    lines.dealProxyServerInfo(reply({}));
    QCOMPARE(s5.last().at(0).toBool(), true);
    QVERIFY(lines.lines(Plan::S5).isEmpty());
    lines.dealProxyServerResidentTrafficInfo(reply({ line("3.3.3.3") }));
    lines.dealProxyServerUnlimitInfo(QJsonObject { { "code", 5 }, { "msg", "expired" } });
    QCOMPARE(resi.count(), 1);
    QCOMPARE(unl.count(), 1);
    QCOMPARE(unl.first().at(1).toString(), QStringLiteral("expired"));
    QCOMPARE(lines.lines(Plan::ResiTraffic).size(), 1);
    QCOMPARE(s5.count(), 3);
}

void TestLineCatalogue::duplicateFilterLeavesIdGaps()
{
    PayloadCodec codec;
    LineCatalogue lines(&codec, kUnion, nullptr);
    ProxyServerInfo todayLine;
    todayLine.setIp(QStringLiteral("10.0.0.2"));
    QList<QObject*> today { &todayLine };
    lines.setTodayList(Plan::ResiTraffic, &today);

    const QJsonArray data { line("10.0.0.1"), line("10.0.0.2"), line("10.0.0.3") };
    lines.dealProxyServerResidentTrafficInfo(reply(data));
    const QList<QObject*> resi = lines.lines(Plan::ResiTraffic);
    QCOMPARE(resi.size(), 2);
    QCOMPARE(rec(resi[0])->getId(), 0);
    QCOMPARE(rec(resi[1])->getId(), 2);
    QCOMPARE(rec(resi[1])->getIp(), QStringLiteral("10.0.0.3"));
    // Another plan's today list does not filter this plan.
    lines.dealProxyServerInfo(reply(data));
    QCOMPARE(lines.lines(Plan::S5).size(), 3);
}

void TestLineCatalogue::damagedElements()
{
    PayloadCodec codec;
    LineCatalogue lines(&codec, kUnion, nullptr);
    QJsonObject numberIp = line("1.2.3.4");
    numberIp.insert("ip", 1234);
    const QJsonArray data { 5, "text", QJsonArray { 1, 2 }, QJsonValue(), QJsonObject {}, numberIp,
        line("not.an.ip.address"), line("<b>x</b>"), line("1.2.3.4") };
    lines.dealProxyServerInfo(reply(data));
    const QList<QObject*> list = lines.lines(Plan::S5);
    QCOMPARE(list.size(), data.size());
    for (int i = 0; i < 6; ++i) {
        QVERIFY(rec(list[i])->getIp().isEmpty());
        QVERIFY(rec(list[i])->getHideIp().isEmpty());
        QCOMPARE(rec(list[i])->getSessionId().size(), 32);
        QCOMPARE(rec(list[i])->getId(), i);
    }
    QCOMPARE(rec(list[6])->getHideIp(), QStringLiteral("not.an.***.***"));
    QVERIFY(rec(list[7])->getHideIp().isEmpty());

    // "data" of the wrong type reads as an empty list.
    lines.dealProxyServerInfo(QJsonObject { { "code", 0 }, { "data", QJsonObject { { "ip", "1.2.3.4" } } } });
    QVERIFY(lines.lines(Plan::S5).isEmpty());
    lines.dealProxyServerInfo(QJsonObject { { "code", 0 } });
    QVERIFY(lines.lines(Plan::S5).isEmpty());
}

void TestLineCatalogue::largeReply()
{
    PayloadCodec codec;
    LineCatalogue lines(&codec, kUnion, nullptr);
    QJsonArray data;
    for (int i = 0; i < 50000; ++i)
        data.append(line(QStringLiteral("10.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255)));
    lines.dealProxyServerInfo(reply(data));
    const QList<QObject*> list = lines.lines(Plan::S5);
    QCOMPARE(list.size(), 50000);
    int lo = 100, hi = 0;
    for (QObject* o : list) {
        lo = qMin(lo, rec(o)->getPing());
        hi = qMax(hi, rec(o)->getPing());
    }
    QCOMPARE(lo, 20);
    QCOMPARE(hi, 99);
    QCOMPARE(rec(list.last())->getHideIp(), QStringLiteral("10.0.***.***"));
}

void TestLineCatalogue::sortKeys()
{
    PayloadCodec codec;
    LineCatalogue lines(&codec, kUnion, nullptr);
    lines.dealProxyServerInfo(reply({ line("9.0.0.1"), line("10.0.0.2"), line("10.0.0.10"), line("2.0.0.1") }));
    auto ips = [&](Plan plan) {
        QStringList out;
        for (QObject* o : lines.lines(plan))
            out << rec(o)->getIp();
        return out;
    };
    lines.LineListSort(QStringLiteral("S5_ProxyList"), QStringLiteral("IP"));
    QCOMPARE(ips(Plan::S5), QStringList({ "10.0.0.10", "10.0.0.2", "2.0.0.1", "9.0.0.1" }));
    lines.LineListSort(QStringLiteral("S5_ProxyList"), QStringLiteral("ID"));
    QCOMPARE(ips(Plan::S5), QStringList({ "2.0.0.1", "10.0.0.10", "10.0.0.2", "9.0.0.1" }));
    lines.LineListSort(QStringLiteral("S5_ProxyList"), QStringLiteral("Size"));
    lines.LineListSort(QStringLiteral("S5Unlimited_ProxyList"), QStringLiteral("IP"));
    QCOMPARE(ips(Plan::S5), QStringList({ "2.0.0.1", "10.0.0.10", "10.0.0.2", "9.0.0.1" }));

    // A today list registered by its owner; latest binding first; foreign entries go last.
    ProxyServerInfo a, b, c;
    QObject foreign;
    a.setBindTime(100);
    b.setBindTime(300);
    c.setBindTime(200);
    QList<QObject*> today { &a, &foreign, &b, &c };
    lines.setTodayList(Plan::S5, &today);
    lines.LineListSort(QStringLiteral("S5_TodayList"), QStringLiteral("BindTime"));
    QCOMPARE(today, QList<QObject*>({ &b, &c, &a, &foreign }));
    QList<QObject*> favourites { &a, &b, &c };
    lines.setFavouriteList(Plan::ResiTraffic, &favourites);
    a.setIp("9.0.0.1");
    b.setIp("10.0.0.2");
    c.setIp("10.0.0.10");
    lines.LineListSort(QStringLiteral("ResidentTraffic_FavoriteList"), QStringLiteral("IP"));
    QCOMPARE(favourites, QList<QObject*>({ &c, &b, &a }));
    QVERIFY(!sortLines(favourites, QStringLiteral("ip")));
}

QTEST_GUILESS_MAIN(TestLineCatalogue)
#include "test_linecatalogue.moc"
