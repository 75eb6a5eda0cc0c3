// Today and favourite lists against recorded service and helper replies: the merge rules, the
// day and six-hour boundaries, records shared between lists, remarks and dislikes, the local
// search and the re-bind pass after a helper start.
#include "clock.h"
#include "endpoints.h"
#include "favourites.h"
#include "linerecords.h"
#include "payloadcodec.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "todaylists.h"
#include "todaysearch.h"
#include "userinfo.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace zq::lists;
using zq::catalogue::FormFields;

namespace {

const QString kUnion = QStringLiteral("union-1");

ProxyServerInfo* rec(QObject* o)
{
    return qobject_cast<ProxyServerInfo*>(o);
}

QStringList ips(const QList<QObject*>& list)
{
    QStringList out;
    for (QObject* o : list)
        out << rec(o)->getIp();
    return out;
}

} // namespace

struct ListRig {
    QTemporaryDir dir;
    PayloadCodec codec;
    zq::ServiceAddresses addresses;
    SavedLists lists { &codec, dir.path() };
    TodayLists today { &lists, &codec, kUnion };
    Favourites favourites { &lists, &codec, kUnion };
    QList<QPair<QString, FormFields>> sent;

    ListRig()
    {
        UserInfo::instance()->setUserName("unit");
        favourites.setAddresses(&addresses);
        favourites.setPoster([this](const QString& url, const FormFields& f, const QString& tag) {
            sent.append({ url + "|" + tag, f });
        });
    }
    // A service line object; own = bound from this machine (its session is the local one).
    QJsonObject line(const QString& ip, const QString& sn, qint64 age, bool own, const QString& remark = {})
    {
        const QString encoded = codec.encodeText(sn);
        return { { "ip", ip }, { "sn", encoded }, { "server", "127.0.0.1:9" }, { "country", "US" },
            { "state", "Texas" }, { "city", "Austin" }, { "postal", "" }, { "isp", "" }, { "iso", "US" },
            { "status", "Online" }, { "bind_time", zq::clock::now() - age }, { "remarks", remark },
            { "plan_type_key", "flow-key-1" },
            { "session_id", own ? zq::catalogue::LineRecords::sessionId(encoded, codec, kUnion) : "elsewhere" } };
    }
    static QJsonObject reply(const QJsonArray& items) { return { { "code", 0 }, { "ret_data", items } }; }
    ProxyServerInfo* add(Kind kind, Plan plan, const QString& ip)
    {
        auto* r = new ProxyServerInfo;
        r->setIp(ip);
        lists.adopt(r);
        lists.list(kind, plan).append(r);
        return r;
    }
};

class TestTodayLists : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { zq::clock::setOffset(0); }
    void sameServerNumberKeepsThisMachinesEntry_data();
    void sameServerNumberKeepsThisMachinesEntry();
    void dayAndSixHourBoundaries();
    void knownLineKeepsItsPortAndFreedLineStays();
    void otherDeviceLines();
    void helperBindingsWin();
    void refusedRefreshKeepsTheList();
    void favouritesShareTodayRecordsAndRemarks();
    void addRemarkAndDislike();
    void rebindPassSkipsAndClears();
    void searchAndBindTypes();
};

void TestTodayLists::sameServerNumberKeepsThisMachinesEntry_data()
{
    QTest::addColumn<bool>("ownFirst");
    QTest::newRow("other device first") << false;
    QTest::newRow("this machine first") << true;
}

void TestTodayLists::sameServerNumberKeepsThisMachinesEntry()
{
    QFETCH(bool, ownFirst);
    ListRig rig;
    const QJsonObject own = rig.line("10.0.0.1", "SN-1", 60, true);
    const QJsonObject other = rig.line("10.0.0.2", "SN-1", 60, false);
    rig.today.dealTodayList(ListRig::reply(ownFirst ? QJsonArray { own, other } : QJsonArray { other, own }), "S5");
    QCOMPARE(ips(rig.lists.list(Kind::Today, Plan::S5)), QStringList { "10.0.0.1" });
    QVERIFY(!rec(rig.lists.list(Kind::Today, Plan::S5).first())->getIsFromOtherDevice());
}

void TestTodayLists::dayAndSixHourBoundaries()
{
    ListRig rig;
    QSignalSpy status(&rig.today, &TodayLists::getTodayListStatus);
    rig.today.dealTodayList(
        ListRig::reply({ rig.line("10.0.0.1", "SN-1", 86400, true), rig.line("10.0.0.2", "SN-2", 86399, true),
            rig.line("10.0.0.3", "SN-3", 21600, true), rig.line("10.0.0.4", "SN-4", 21599, true) }),
        "S5");
    QCOMPARE(status.first(), QVariantList({ true, "Refresh todaylist success" }));
    QList<QObject*>& today = rig.lists.list(Kind::Today, Plan::S5);
    QCOMPARE(today.size(), 3); // a day old exactly is skipped
    auto find = [&today](const QString& ip) {
        for (QObject* o : today)
            if (rec(o)->getIp() == ip)
                return rec(o);
        return static_cast<ProxyServerInfo*>(nullptr);
    };
    QVERIFY(find("10.0.0.3")->getIsExpired()); // six hours exactly is past
    QVERIFY(!find("10.0.0.4")->getIsExpired());
    QCOMPARE(find("10.0.0.2")->getBindPort(), 0);

    // A line already in the list survives at exactly one day and goes one second later.
    zq::clock::setOffset(1);
    rig.today.dealTodayList(ListRig::reply({ rig.line("10.0.0.2", "SN-2", 86399, true) }), "S5");
    QCOMPARE(ips(today), QStringList { "10.0.0.2" });
    zq::clock::setOffset(2);
    rig.today.dealTodayList(ListRig::reply({ rig.line("10.0.0.2", "SN-2", 86399, true) }), "S5");
    QVERIFY(today.isEmpty());
}

void TestTodayLists::knownLineKeepsItsPortAndFreedLineStays()
{
    ListRig rig;
    ProxyServerInfo* known = rig.add(Kind::Today, Plan::S5, "10.0.0.1");
    known->setBindPort(41005);
    known->setBindTime(int(zq::clock::now() - 100));
    // A line the upkeep freed after six hours: no bind time of its own any more.
    ProxyServerInfo* freed = rig.add(Kind::Today, Plan::S5, "10.0.0.2");
    freed->setBindTime(0);
    freed->setIsExpired(true);
    const QJsonObject serviceFreed = rig.line("10.0.0.2", "SN-2", 7 * 3600, true);
    rig.today.dealTodayList(ListRig::reply({ rig.line("10.0.0.1", "SN-1", 100, true), serviceFreed,
                                rig.line("10.0.0.3", "SN-3", 5, true) }),
        "S5");
    QList<QObject*>& today = rig.lists.list(Kind::Today, Plan::S5);
    QCOMPARE(today.size(), 3);
    QVERIFY(today.contains(known) && today.contains(freed));
    QCOMPARE(known->getBindPort(), 41005);
    // It stays, run out, until the service's bind time is a day old.
    QCOMPARE(freed->getBindTime(), serviceFreed.value("bind_time").toInt());
    QVERIFY(freed->getIsExpired());
    zq::clock::setOffset(17 * 3600 + 1);
    rig.today.dealTodayList(ListRig::reply({ serviceFreed }), "S5");
    QVERIFY(!today.contains(freed));
    // The saved file follows the list.
    SavedLists reread(&rig.codec, rig.dir.path());
    reread.read(Kind::Today, Plan::S5, "unit_todayList.json");
    QVERIFY(reread.list(Kind::Today, Plan::S5).isEmpty());
}

void TestTodayLists::otherDeviceLines()
{
    ListRig rig;
    rig.today.dealTodayList(ListRig::reply({ rig.line("10.0.0.1", "SN-1", 60, false) }), "S5");
    rig.today.dealTodayList(ListRig::reply({ rig.line("10.0.0.2", "SN-2", 60, false) }), "ResidentTraffic");
    auto* s5 = rec(rig.lists.list(Kind::Today, Plan::S5).first());
    auto* resi = rec(rig.lists.list(Kind::Today, Plan::ResiTraffic).first());
    QVERIFY(s5->getIsFromOtherDevice() && s5->getIsExpired());
    QVERIFY(resi->getIsFromOtherDevice() && !resi->getIsExpired());
    QCOMPARE(resi->getPlanTypeKey(), QStringLiteral("flow-key-1"));
    // Its bind time is only the service's, taken again on each refresh.
    QCOMPARE(s5->getBindTime(), 0);
    rig.today.dealTodayList(ListRig::reply({ rig.line("10.0.0.1", "SN-1", 60, false) }), "S5");
    QCOMPARE(rig.lists.list(Kind::Today, Plan::S5).size(), 1);
}

void TestTodayLists::helperBindingsWin()
{
    ListRig rig;
    ProxyServerInfo* a = rig.add(Kind::Today, Plan::S5, "10.0.0.1");
    ProxyServerInfo* b = rig.add(Kind::Today, Plan::S5, "10.0.0.2");
    b->setBindPort(41001);
    QSignalSpy status(&rig.today, &TodayLists::getTodayListStatus);
    rig.today.dealHelperTodayList(
        { { "code", 0 }, { "data", QJsonArray { QJsonObject { { "Ip", "10.0.0.1" }, { "BindPort", 41001 } } } } });
    QCOMPARE(status.count(), 0); // only code 1 counts
    rig.today.dealHelperTodayList(
        { { "code", 1 }, { "data", QJsonArray { QJsonObject { { "Ip", "10.0.0.1" }, { "BindPort", 41001 } } } } });
    QCOMPARE(a->getBindPort(), 41001);
    QCOMPARE(b->getBindPort(), 0);
    QCOMPARE(status.first(), QVariantList({ true, "Refresh todaylistv2 success" }));
}

void TestTodayLists::refusedRefreshKeepsTheList()
{
    ListRig rig;
    rig.add(Kind::Today, Plan::S5, "10.0.0.1");
    QSignalSpy status(&rig.today, &TodayLists::getTodayUnlimitListStatus);
    rig.today.dealTodayList({ { "code", 3 }, { "msg", "not logged in" } }, "unlimit");
    QCOMPARE(status.first(), QVariantList({ false, "not logged in" }));
    rig.today.dealTodayList({ { "code", 3 }, { "msg", "no" } }, "S5");
    QCOMPARE(rig.lists.list(Kind::Today, Plan::S5).size(), 1);
}

void TestTodayLists::favouritesShareTodayRecordsAndRemarks()
{
    ListRig rig;
    ProxyServerInfo* today = rig.add(Kind::Today, Plan::S5, "10.0.0.1");
    rig.add(Kind::Favourite, Plan::S5, "10.0.0.9"); // no longer listed by the service
    QSignalSpy status(&rig.favourites, &Favourites::getFavouriteListStatus);
    rig.favourites.dealGetFavouriteList(
        ListRig::reply({ rig.line("10.0.0.1", "SN-1", 60, true, "office"),
            rig.line("10.0.0.2", "SN-2", 7 * 3600, true, "home"), rig.line("10.0.0.3", "SN-2", 60, false) }),
        "S5");
    QCOMPARE(status.first(), QVariantList({ true, "Refresh favouritelist success" }));
    QList<QObject*>& favourites = rig.lists.list(Kind::Favourite, Plan::S5);
    QCOMPARE(favourites.size(), 2);
    QVERIFY(favourites.contains(today));
    QCOMPARE(today->getRemark(), QStringLiteral("office"));
    for (QObject* o : favourites) {
        if (rec(o)->getIp() == "10.0.0.2") {
            QVERIFY(rec(o)->getIsExpired()); // bound here seven hours ago
            QCOMPARE(rec(o)->getBindPort(), 0);
        }
    }
    rig.favourites.dealGetFavouriteList({ { "code", 0 }, { "ret_data", QJsonArray() } }, "unlimit");
    QCOMPARE(status.count(), 1); // other tags are not handled
}

void TestTodayLists::addRemarkAndDislike()
{
    ListRig rig;
    ProxyServerInfo* line = rig.add(Kind::Today, Plan::S5, "10.0.0.1");
    QSignalSpy added(&rig.favourites, &Favourites::setFavouriteStatus);
    rig.favourites.setFavourite("unit", "10.0.0.1", "US", "sn", "h:1", "sid", QString());
    QCOMPARE(rig.sent.size(), 1);
    rig.favourites.dealFavouriteInfo({ { "code", 1 }, { "msg", "added;10.0.0.1" } }, QString());
    QCOMPARE(added.takeFirst(), QVariantList({ true, "success" }));
    QCOMPARE(rig.lists.list(Kind::Favourite, Plan::S5).first(), line);
    rig.favourites.setFavourite("unit", "10.0.0.1", "US", "sn", "h:1", "sid", QString());
    QCOMPARE(added.takeFirst(), QVariantList({ true, "ip already exist in favourite" }));
    QCOMPARE(rig.sent.size(), 1);

    // A remark with ":" in it reaches the record whole.
    QSignalSpy remarked(&rig.favourites, &Favourites::setFavouriteRemarkStatus);
    rig.favourites.setFavouriteRemark("10.0.0.1", QString(), "ssh: 10:00-12:00");
    const QString tag = rig.sent.last().first.section('|', 1);
    rig.favourites.dealFavouriteRemark({ { "code", 1 } }, tag);
    QCOMPARE(remarked.first(), QVariantList({ true, "success" }));
    QCOMPARE(line->getRemark(), QStringLiteral("ssh: 10:00-12:00"));

    // Dislike removes every copy at once and saves.
    rig.lists.list(Kind::Favourite, Plan::S5).append(rig.add(Kind::Today, Plan::ResiTraffic, "10.0.0.1"));
    rig.favourites.setDislikeIP("unit", "10.0.0.1", "sn", "h:1", "sid", QString());
    QVERIFY(rig.lists.list(Kind::Favourite, Plan::S5).isEmpty());
    QVERIFY(QFile::exists(rig.dir.filePath("unit_favouriteList.json")));
    QSignalSpy disliked(&rig.favourites, &Favourites::setDislikeStatus);
    rig.favourites.dealDislike({ { "code", 0 } });
    QCOMPARE(disliked.first(), QVariantList({ false, "error" }));
}

void TestTodayLists::rebindPassSkipsAndClears()
{
    ListRig rig;
    QStringList calls;
    Rebinder rebinder;
    rebinder.pauseMs = 0;
    rebinder.programPort = []() { return 41099; };
    rebinder.inRange = [](int port) { return port >= 41000 && port < 41100; };
    rebinder.setPortSession = [&calls](const QString&, const QString& ip, int port, const QString&, const QString&,
                                  int openPort, const QString& area, const QString&, bool charge, bool usable) {
        calls
            << QStringLiteral("S5 %1 %2 %3 %4 %5 %6").arg(ip).arg(port).arg(openPort).arg(area).arg(charge).arg(usable);
    };
    rebinder.setPortSessionResiTraffic = [&calls](const QString&, const QString& ip, int port, const QString&,
                                             const QString&, const QString&, const QString&, bool, const QString& key) {
        calls << QStringLiteral("Resi %1 %2 %3").arg(ip).arg(port).arg(key);
    };
    rebinder.compareIpAndPortState = [&calls]() { calls << "compare"; };
    rig.today.setRebinder(rebinder);
    const int now = int(zq::clock::now());
    auto s5 = [&](const QString& ip, int port, int age) {
        ProxyServerInfo* r = rig.add(Kind::Today, Plan::S5, ip);
        r->setBindPort(port);
        r->setBindTime(now - age);
        r->setCountry("US");
        r->setCity("Austin");
        return r;
    };
    s5("10.0.0.1", 41001, 100);
    s5("10.0.0.2", 41099, 100); // the program port
    ProxyServerInfo* old = s5("10.0.0.3", 41003, 21600);
    ProxyServerInfo* resi = rig.add(Kind::Today, Plan::ResiTraffic, "10.0.0.4");
    resi->setBindPort(41004);
    resi->setPlanTypeKey("k");
    rig.today.setAllTodayPortSession();
    QCOMPARE(
        calls, QStringList({ "S5 10.0.0.1 41001 41001 US-Austin-random 0 1", "Resi 10.0.0.4 41004 k", "compare" }));
    QCOMPARE(old->getBindPort(), 0);
}

void TestTodayLists::searchAndBindTypes()
{
    QList<QObject*> list;
    QObject owner;
    for (const QString& ip : { "10.0.0.4", "10.0.0.6", "10.0.1.5", "10.0" }) {
        auto* r = new ProxyServerInfo(&owner);
        r->setIp(ip);
        r->setCountry("US");
        r->setBindType(ip.endsWith('6') ? "API" : "Manual");
        list << r;
    }
    QCOMPARE(ips(searchToday(list, {})), QStringList({ "10.0.0.4", "10.0.0.6", "10.0.1.5", "10.0" }));
    TodayFilter range;
    range.startIp = "10.0.0.5";
    range.endIp = "10.0.1.5";
    QCOMPARE(ips(searchToday(list, range)), QStringList { "10.0.0.6" });
    TodayFilter api;
    api.bindType = "API";
    api.countryName = "US";
    QCOMPARE(ips(searchToday(list, api)), QStringList { "10.0.0.6" });
    QVERIFY(compareIp("10.0", "10.0.0.1") < 0);
    QVERIFY(compareIp("10.x.0.1", "10.0.0.1") == 0);
    QCOMPARE(searchBindType("a"), QStringList({ "API", "Manual" }));
    QCOMPARE(searchBindType("man"), QStringList { "Manual" });
    QCOMPARE(searchBindType(""), QStringList({ "API", "Manual" }));
}

QTEST_MAIN(TestTodayLists)
#include "test_todaylists.moc"
