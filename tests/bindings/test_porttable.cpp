// The port table and the binding work on their own: slots and ranges, the request builders'
// choices and refusals (captured at the request seam), and what a helper's answer changes.
#include "bindingrig.h"
#include "portforward.h"

#include <QCryptographicHash>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QUrlQuery>
#include <QtTest>

class TestPortTable : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { zq::clock::setOffset(0); }
    void rangeRulesAndReport();
    void countChangeKeepsBindingsAndNewRangeAttachesToday();
    void heldPortsAreUnusable();
    void portZeroTakesTheFirstFreeUsableSlot();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void requestFieldsAndTags();
    void chargedBindMovesLineToTodayFront();
    void bindOutcomeTable_data();
    void bindOutcomeTable();
    void rebindFreesOldSlotAndClearsOthers();
    void bindOfUnknownLineIsReportedAndFreed();
    void failedBindDropsTheLine();
    void releaseClearsListsAndSlots();
    void droppedLineIsReleasedOnce();
    void portForwardView();
    void apiLinkEncodesItsValues();
};

void TestPortTable::rangeRulesAndReport()
{
    QCOMPARE(PortTable::rangeError("999", "100"), QStringLiteral("port begin:999 too small,please input >1000\n"));
    QCOMPARE(PortTable::rangeError("65500", "100"),
        QStringLiteral("port end:65599 too big,please input Begin Port+Port Number<65535\n"));
    QCOMPARE(PortTable::rangeError("1000", "100"), QString());
    QCOMPARE(PortTable::rangeError("65436", "100"), QString());
    QCOMPARE(PortTable::rangeError("abc", "100"), QStringLiteral("port begin:abc too small,please input >1000\n"));

    QTcpServer held;
    QVERIFY(held.listen(QHostAddress::Any, 0));
    const int p = held.serverPort();
    const QString report = PortTable::usageReport(p - 1, 3);
    QCOMPARE(report,
        QStringLiteral("Port %1 can be used \nPort %2 can not be used \nPort %3 can be used \n\n2 port can be used \n"
                       "1 port occupied")
            .arg(p - 1)
            .arg(p)
            .arg(p + 1));
    // The report never goes past the last port.
    QVERIFY(PortTable::usageReport(65534, 5).startsWith("Port 65534 can be used \nPort 65535 can be used \n\n"));

    PortTable table;
    QCOMPARE(table.getPortRange(), QStringLiteral("1000-1099"));
    table.setStartPort(999);
    QCOMPARE(table.getPortRange(), QStringLiteral("1000-1099")); // the last valid text stays
}

void TestPortTable::countChangeKeepsBindingsAndNewRangeAttachesToday()
{
    ProxyServerInfo s5, unlimited;
    s5.setIp("1.1.1.1");
    s5.setBindPort(41003);
    s5.setBindTime(1234);
    unlimited.setIp("2.2.2.2");
    unlimited.setBindPort(41003);
    PortTable table;
    table.setStartPort(41000);
    table.setPortNum(5);
    // The very first build already shows today lines on their ports; the unlimited one wins.
    table.createPortInfoList({ &s5 }, { &unlimited });
    QCOMPARE(table.list().size(), 5);
    QCOMPARE(table.slotFor(41003)->getLineInfo(), &unlimited);
    QCOMPARE(table.slotFor(41003)->getPlanType(), QStringLiteral("S5Unlimited"));

    PortInfo* kept = table.slotFor(41003);
    table.setPortNum(8);
    table.createPortInfoList({}, {});
    QCOMPARE(table.list().size(), 8);
    QCOMPARE(table.slotFor(41003), kept);
    QVERIFY(kept->getUsed());
    QCOMPARE(table.list().last()->getPort(), 41007);
    table.setPortNum(2);
    table.createPortInfoList({}, {});
    QCOMPARE(table.list().size(), 2);

    table.setStartPort(41002);
    table.setPortNum(3);
    table.createPortInfoList({ &s5 }, {});
    QCOMPARE(table.slotFor(41003)->getLineInfo(), &s5);
    QCOMPARE(table.slotFor(41003)->getOperateTime(), 1234u);
    QCOMPARE(table.slotFor(41003)->getPlanType(), QStringLiteral("S5"));
    QVERIFY(!table.slotFor(41002)->getUsed());
}

void TestPortTable::heldPortsAreUnusable()
{
    QTcpServer held;
    QVERIFY(held.listen(QHostAddress::Any, 0));
    const int p = held.serverPort();
    PortTable table;
    table.setStartPort(p - 2);
    table.setPortNum(4);
    table.setReservedPorts(p - 2, p + 1);
    table.createPortInfoList({}, {});
    QCOMPARE(table.slotFor(p - 2)->getUsable(), false); // API port
    QCOMPARE(table.slotFor(p - 1)->getUsable(), true);
    QCOMPARE(table.slotFor(p)->getUsable(), false); // another program
    QCOMPARE(table.slotFor(p + 1)->getUsable(), false); // program port
    held.close();
    table.refreshPortUsability();
    QCOMPARE(table.slotFor(p)->getUsable(), true);
}

void TestPortTable::portZeroTakesTheFirstFreeUsableSlot()
{
    Rig rig(41000, 5);
    rig.table.setReservedPorts(0, 41002);
    rig.table.slotFor(41000)->setUsed(true);
    rig.table.slotFor(41001)->setUsable(false);
    rig.offer(Plan::S5, { "10.0.0.1" });
    ProxyServerInfo* l = rig.line(Plan::S5);
    rig.bindings.setPortSession(l->getSessionId(), l->getIp(), 0, l->getProxyIp(), l->getSn(), 0, "US", "", true, true);
    QCOMPARE(rig.sent.size(), 1);
    QCOMPARE(rig.sent.first().field("port"), QByteArray("41003"));
    QCOMPARE(rig.sent.first().tag, QStringLiteral("41003:1:10.0.0.1"));
    QVERIFY(!rig.sent.first().has("open_port"));
    QVERIFY(qAbs(qint64(rig.table.slotFor(41003)->getOperateTime()) - zq::clock::now()) <= 1);

    // Not charging, the chosen port is also the one to re-open.
    rig.bindings.setPortSession(
        l->getSessionId(), l->getIp(), 0, l->getProxyIp(), l->getSn(), 0, "US", "", false, true);
    QCOMPARE(rig.codec.decodeText(QString::fromUtf8(rig.sent.last().field("open_port"))), QStringLiteral("41003"));

    // A full range answers after a short delay and sends nothing.
    for (PortInfo* slot : rig.table.list())
        slot->setUsed(true);
    QSignalSpy status(&rig.bindings, &PortBindings::setPortSessionStatus);
    rig.bindings.setPortSession(l->getSessionId(), l->getIp(), 0, l->getProxyIp(), l->getSn(), 0, "US", "", true, true);
    QCOMPARE(status.count(), 0);
    QTRY_COMPARE(status.count(), 1);
    QCOMPARE(status.first().at(1).toString(), QStringLiteral("No more port to bind,Please reset port range."));
    QCOMPARE(rig.sent.size(), 2);
}

void TestPortTable::refusalsSendNothing_data()
{
    QTest::addColumn<QString>("plan");
    QTest::addColumn<int>("ipNums");
    QTest::addColumn<qint64>("expiry");
    QTest::addColumn<double>("traffic");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("expected");
    const qint64 later = zq::clock::now() + 3600;
    QTest::newRow("unusable port") << "S5" << 5 << later << 0.0 << false
                                   << "The selected port is unusable, please select another port.";
    QTest::newRow("no IPs left") << "S5" << 0 << later << 0.0 << true << "userNoIpNums";
    QTest::newRow("unlimited expired") << "S5U" << 5 << zq::clock::now() - 1 << 0.0 << true << "userNoValidTime";
    QTest::newRow("unlimited without expiry") << "S5U" << 5 << qint64(0) << 0.0 << true << "userNoValidTime";
    QTest::newRow("no plan type") << "S5U-unknown" << 5 << later << 0.0 << true << "No planType with ip=9.9.9.9";
    QTest::newRow("negative traffic") << "Resi" << 5 << later << -0.5 << true << "userNoIpTraffic";
}

void TestPortTable::refusalsSendNothing()
{
    QFETCH(QString, plan);
    QFETCH(int, ipNums);
    QFETCH(qint64, expiry);
    QFETCH(double, traffic);
    QFETCH(bool, usable);
    QFETCH(QString, expected);
    Rig rig;
    UserInfo::instance()->setIpNums(ipNums);
    UserInfo::instance()->setExpireUTC(uint(expiry));
    UserInfo::instance()->setResiTrafficRemain(traffic);
    QString got;
    connect(&rig.bindings, &PortBindings::setPortSessionStatus, this,
        [&got](bool, const QString& m, const QString&) { got = m; });
    connect(&rig.bindings, &PortBindings::userNoIpNums, this, [&got]() { got = "userNoIpNums"; });
    connect(&rig.bindings, &PortBindings::userNoValidTime, this, [&got]() { got = "userNoValidTime"; });
    connect(&rig.bindings, &PortBindings::userNoIpTraffic, this, [&got]() { got = "userNoIpTraffic"; });
    if (plan == "S5")
        rig.bindings.setPortSession("s", "9.9.9.9", 41001, "h:1", "sn", 0, "", "", true, usable);
    else if (plan.startsWith("S5U"))
        rig.bindings.setPortSessionS5U("s", "9.9.9.9", 41001, "h:1", "sn", 0, "", "", true, usable);
    else
        rig.bindings.setPortSessionResiTraffic("s", "9.9.9.9", 41001, "h:1", "sn", "", "", usable, "k");
    QCOMPARE(got, expected);
    QVERIFY(rig.sent.isEmpty());
    QCOMPARE(rig.table.slotFor(41001)->getOperateTime(), 0u);
    UserInfo::instance()->setResiTrafficRemain(0);
}

void TestPortTable::requestFieldsAndTags()
{
    Rig rig;
    UserInfo::instance()->setExpireUTC(uint(zq::clock::now() + 3600));
    UserInfo::instance()->setServer("unlimited.example:1");
    // Re-binding costs nothing, so an empty IP count does not stop it.
    UserInfo::instance()->setIpNums(0);
    rig.bindings.setPortSession("sid", "1.2.3.4", 41001, "h:1", "sn1", 41001, "US-random-random", "r", false, true);
    const Sent& s5 = rig.sent.at(0);
    QStringList names;
    for (const auto& f : s5.fields)
        names << f.first;
    QCOMPARE(names,
        QStringList(
            { "user_session", "area", "session_id", "region", "port", "open_port", "sn", "server", "client_ip" }));
    QCOMPARE(rig.codec.decodeText(QString::fromUtf8(s5.field("user_session"))), QStringLiteral("unit"));
    QCOMPARE(s5.tag, QStringLiteral("41001:0:1.2.3.4"));
    QVERIFY(s5.url.endsWith("/api/set_port_session"));

    // The unlimited plan type may come from the favourite list alone.
    rig.saved(Kind::Favourite, Plan::Unlimited, "5.6.7.8")->setPlanType("pk-fav");
    rig.bindings.setPortSessionS5U("sid", "5.6.7.8", 41002, "h:1", "sn", 0, "", "", false, true);
    QCOMPARE(rig.sent.at(1).field("plan_type_key"), QByteArray("pk-fav"));
    QCOMPARE(rig.sent.at(1).field("unlimit_server"), QByteArray("unlimited.example:1"));
    QCOMPARE(rig.sent.at(1).tag, QStringLiteral("41002:0:5.6.7.8:isUnlimit"));

    rig.bindings.setPortSessionResiTraffic("sid", "7.7.7.7", 41003, "h:1", "sn", "", "", true, "flow-key");
    QCOMPARE(rig.sent.at(2).field("plantypekey"), QByteArray("flow-key"));
    QVERIFY(!rig.sent.at(2).has("open_port"));
    QCOMPARE(rig.sent.at(2).tag, QStringLiteral("41003:7.7.7.7"));
}

void TestPortTable::chargedBindMovesLineToTodayFront()
{
    Rig rig;
    rig.offer(Plan::S5, { "10.0.0.1", "10.0.0.2" });
    ProxyServerInfo* previous = rig.saved(Kind::Today, Plan::S5, "10.9.9.9");
    previous->setId(7);
    ProxyServerInfo* line = rig.line(Plan::S5, 1);
    QSignalSpy ipSpy(&rig.bindings, &PortBindings::getUserIpNumsStatus);
    QSignalSpy status(&rig.bindings, &PortBindings::setPortSessionStatus);
    rig.bindings.dealSetPortSesssion(success(), "41002:1:10.0.0.2");
    QCOMPARE(status.first(), QVariantList({ true, "Bind Success!", "10.0.0.2" }));
    QCOMPARE(rig.lists.list(Kind::Today, Plan::S5).first(), line);
    QCOMPARE(line->getId(), 8);
    QCOMPARE(line->getBindPort(), 41002);
    QVERIFY(!line->getIsFromOtherDevice());
    QVERIFY(!rig.lines.lines(Plan::S5).contains(line));
    QCOMPARE(line->parent(), &rig.lists);
    QCOMPARE(UserInfo::instance()->getIpNums(), 4);
    QCOMPARE(ipSpy.first(), QVariantList({ true, "" }));
    QCOMPARE(rig.table.slotFor(41002)->getLineInfo(), line);
    QCOMPARE(rig.table.slotFor(41002)->getOperateTime(), uint(line->getBindTime()));
    QVERIFY(QFile::exists(rig.dir.filePath("unit_todayList.json")));
}

void TestPortTable::bindOutcomeTable_data()
{
    QTest::addColumn<QJsonObject>("reply");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("message alone says success")
        << success("error", "success") << "41001:1:10.0.0.1" << true << "Bind Success!";
    QTest::newRow("helper refuses") << success("fail", "no IPs left") << "41001:1:10.0.0.1" << false
                                    << "Bind Failed! Please try again.";
    QTest::newRow("non-zero code") << QJsonObject { { "code", 2 }, { "msg", "cannot register" } } << "41001:1:10.0.0.1"
                                   << false << "cannot register";
    QTest::newRow("unlimited changes no record")
        << success() << "41001:0:10.0.0.1:isUnlimit" << true << "Bind Success!";
}

void TestPortTable::bindOutcomeTable()
{
    QFETCH(QJsonObject, reply);
    QFETCH(QString, tag);
    QFETCH(bool, status);
    QFETCH(QString, message);
    Rig rig;
    rig.offer(Plan::S5, { "10.0.0.1" });
    QSignalSpy spy(&rig.bindings, &PortBindings::setPortSessionStatus);
    rig.bindings.dealSetPortSesssion(reply, tag);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).toBool(), status);
    QCOMPARE(spy.first().at(1).toString(), message);
    if (tag.endsWith("isUnlimit")) {
        QCOMPARE(rig.lines.lines(Plan::S5).size(), 1);
        QVERIFY(rig.lists.list(Kind::Today, Plan::S5).isEmpty());
        QVERIFY(QFile::exists(rig.dir.filePath("unit_favouriteResidentTrafficList.json")));
    }
}

void TestPortTable::rebindFreesOldSlotAndClearsOthers()
{
    Rig rig;
    ProxyServerInfo* a = rig.saved(Kind::Today, Plan::S5, "10.0.0.1");
    ProxyServerInfo* b = rig.saved(Kind::Favourite, Plan::S5, "10.0.0.2");
    a->setBindPort(41001);
    rig.table.slotFor(41001)->setUsed(true);
    rig.table.slotFor(41001)->setLineInfo(a);
    rig.table.slotFor(41001)->setPlanType("S5");
    b->setBindPort(41003);
    rig.bindings.dealSetPortSesssion(success(), "41003:0:10.0.0.1");
    QCOMPARE(a->getBindPort(), 41003);
    QCOMPARE(b->getBindPort(), 0);
    QVERIFY(!rig.table.slotFor(41001)->getUsed());
    QVERIFY(rig.table.slotFor(41001)->getPlanType().isEmpty());
    QCOMPARE(rig.table.slotFor(41003)->getLineInfo(), a);
    QCOMPARE(UserInfo::instance()->getIpNums(), 5);

    // A favourite line bound anew joins the today list and the favourite list re-orders.
    ProxyServerInfo* fav = rig.saved(Kind::Favourite, Plan::S5, "10.0.0.9");
    rig.bindings.dealSetPortSesssion(success(), "41004:1:10.0.0.9");
    QCOMPARE(rig.lists.list(Kind::Today, Plan::S5).first(), fav);
    QCOMPARE(rig.lists.list(Kind::Favourite, Plan::S5).first(), fav);
}

void TestPortTable::bindOfUnknownLineIsReportedAndFreed()
{
    for (const QString& tag : { QStringLiteral("41002:1:10.7.7.7"), QStringLiteral("41002:7.7.7.7") }) {
        Rig rig;
        QSignalSpy status(&rig.bindings, &PortBindings::setPortSessionStatus);
        rig.bindings.dealSetPortSesssion(success(), tag);
        QCOMPARE(status.first().at(0).toBool(), false);
        QVERIFY(status.first().at(1).toString().startsWith("Bind Failed!"));
        QVERIFY(!rig.table.slotFor(41002)->getUsed());
        // The helper is told to stop forwarding the port the client cannot show.
        QCOMPARE(rig.sent.size(), 1);
        QVERIFY(rig.sent.first().url.endsWith("/api/del_port_session"));
        QCOMPARE(rig.sent.first().field("port"), QByteArray("41002"));
    }
}

void TestPortTable::failedBindDropsTheLine()
{
    Rig rig;
    rig.offer(Plan::S5, { "10.0.0.1", "0.0.0.0", "10.0.0.3" });
    rig.offer(Plan::ResiTraffic, { "10.0.0.1", "0.0.0.0" });
    ProxyServerInfo* l = rig.line(Plan::S5);
    rig.bindings.setPortSession(l->getSessionId(), l->getIp(), 41001, "h:1", "sn", 0, "", "", true, true);
    rig.table.slotFor(41001)->setUsed(true);
    rig.bindings.dealSetPortSesssion(success("fail", "gone"), "41001:1:10.0.0.1");
    QCOMPARE(rig.lines.lines(Plan::S5).size(), 2);
    QCOMPARE(rig.lines.lines(Plan::ResiTraffic).size(), 1);
    QVERIFY(!rig.table.slotFor(41001)->getUsed());
    // A bind request lost in transport drops the lines still waiting for an address.
    rig.bindings.dealSetPortSessionFailed();
    QCOMPARE(rig.lines.lines(Plan::S5).size(), 1);
    QVERIFY(rig.lines.lines(Plan::ResiTraffic).isEmpty());
}

void TestPortTable::releaseClearsListsAndSlots()
{
    Rig rig;
    ProxyServerInfo* a = rig.saved(Kind::Today, Plan::S5, "10.0.0.1");
    ProxyServerInfo* b = rig.saved(Kind::Favourite, Plan::Unlimited, "10.0.0.2");
    ProxyServerInfo* resi = rig.saved(Kind::Today, Plan::ResiTraffic, "10.0.0.3");
    a->setBindPort(41001);
    b->setBindPort(41001);
    resi->setBindPort(41001);
    rig.table.slotFor(41001)->setUsed(true);
    rig.table.slotFor(41001)->setLineInfo(a);
    rig.table.slotFor(41001)->setOperateTime(99);

    QSignalSpy one(&rig.bindings, &PortBindings::freeOnePortStatus);
    rig.bindings.dealFreeOneProxyPort({ { "code", 1 }, { "msg", "no" } }, "41001");
    QCOMPARE(one.takeFirst(), QVariantList({ false, "no", 41001 }));
    QCOMPARE(a->getBindPort(), 41001);
    rig.bindings.dealFreeOneProxyPort({ { "code", 0 } }, "41001");
    QCOMPARE(one.takeFirst(), QVariantList({ true, "", 41001 }));
    QCOMPARE(a->getBindPort(), 0);
    QCOMPARE(b->getBindPort(), 0);
    QCOMPARE(resi->getBindPort(), 41001); // not shown by the slot, so not reached
    QVERIFY(!rig.table.slotFor(41001)->getUsed());
    QCOMPARE(rig.table.slotFor(41001)->getOperateTime(), 99u);

    rig.bindings.freeOneProxyPort(0);
    QVERIFY(rig.sent.isEmpty());
    QSignalSpy all(&rig.bindings, &PortBindings::freePortStatus);
    rig.bindings.dealFreeProxyPort({ { "code", 0 } });
    QCOMPARE(resi->getBindPort(), 0);
    QCOMPARE(all.first(), QVariantList({ true, "" }));

    resi->setBindPort(41001);
    rig.saved(Kind::Today, Plan::ResiTraffic, "10.0.0.4");
    rig.saved(Kind::Today, Plan::ResiTraffic, "10.0.0.5")->setBindPort(41003);
    QCOMPARE(rig.bindings.freeResidentTrafficPort(), 2);
    QCOMPARE(rig.sent.size(), 2);
}

void TestPortTable::droppedLineIsReleasedOnce()
{
    Rig rig;
    rig.offer(Plan::S5, { "10.0.0.1" });
    ProxyServerInfo* line = rig.line(Plan::S5);
    rig.bindings.dealSetPortSesssion(success(), "41001:1:10.0.0.1");
    rig.lists.list(Kind::Favourite, Plan::S5).append(line);
    int destroyed = 0;
    connect(line, &QObject::destroyed, this, [&destroyed]() { ++destroyed; });

    // Still shown by the favourite list and the slot: kept.
    rig.lists.list(Kind::Today, Plan::S5).removeOne(line);
    rig.lists.release({ line });
    QTest::qWait(10);
    QCOMPARE(destroyed, 0);
    rig.lists.list(Kind::Favourite, Plan::S5).removeOne(line);
    rig.lists.release({ line });
    QTest::qWait(10);
    QCOMPARE(destroyed, 0);
    // The slot lets go last; now nothing holds it and it goes exactly once.
    rig.table.slotFor(41001)->clear();
    rig.lists.release({ line });
    rig.lists.release({ line });
    QTRY_COMPARE(destroyed, 1);
    QTest::qWait(10);
    QCOMPARE(destroyed, 1);
    QCOMPARE(rig.table.slotFor(41001)->getLineInfo(), nullptr);
}

void TestPortTable::portForwardView()
{
    Rig rig(41000, 4);
    PortForward view(&rig.table, &rig.lists, &rig.bindings.portForwardList());
    // No today lines: the port table itself.
    QList<QObject*> entries = view.getPortForwordList();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.first(), rig.table.list().first());
    QCOMPARE(view.getCopyAllInfo("192.168.1.2", 0), QString());

    ProxyServerInfo* s5 = rig.saved(Kind::Today, Plan::S5, "10.0.0.1");
    s5->setBindPort(41002);
    rig.table.slotFor(41002)->setUsed(true);
    ProxyServerInfo* expired = rig.saved(Kind::Today, Plan::S5, "10.0.0.2");
    expired->setBindPort(41003);
    expired->setIsExpired(true);
    ProxyServerInfo* resi = rig.saved(Kind::Today, Plan::ResiTraffic, "10.0.0.3");
    resi->setBindPort(41001);
    entries = view.getPortForwordList();
    QList<int> ports;
    for (QObject* o : entries)
        ports << qobject_cast<PortInfo*>(o)->getPort();
    QCOMPARE(ports, QList<int>({ 41002, 41001, 41000, 41003 }));
    auto* first = qobject_cast<PortInfo*>(entries.first());
    QCOMPARE(first->getLineInfo(), s5);
    QCOMPARE(first->getPlanType(), QStringLiteral("S5"));
    QCOMPARE(qobject_cast<PortInfo*>(entries.at(1))->getPlanType(), QStringLiteral("Resi Traffic"));
    // The program port is never offered for copying.
    QCOMPARE(view.getCopyAllInfo("192.168.1.2", 41001), QStringLiteral("192.168.1.2:41002\n"));

    // Entries made for today lines go once the next build replaces them.
    QPointer<QObject> made = entries.first();
    view.getPortForwordList();
    QTRY_VERIFY(made.isNull());
}

void TestPortTable::apiLinkEncodesItsValues()
{
    const QString key = PortForward::apiLinkKey("sess-1", "0123456789abcdef0123456789abcdef");
    QCOMPARE(PortForward::createApiLink("192.168.1.2", 10001, "", "", "", "", "", "1", "30000", "txt", "", "", key),
        QStringLiteral("http://192.168.1.2:10001/ip/numerous_bind?num=1&country=random&state=random&city=random"
                       "&isp=random&zip=random&t=txt&port=30000&startip=&endip=&key=")
            + key);
    const QUrl link(PortForward::createApiLink(
        "127.0.0.1", 10001, "US", "New York", "New York", "", "AT&T Services", "2", "30000", "json", "", "", key));
    QVERIFY(link.isValid());
    QVERIFY(!link.toString(QUrl::FullyEncoded).contains(' '));
    const QUrlQuery query(link);
    QCOMPARE(query.queryItemValue("city", QUrl::FullyDecoded), QStringLiteral("New York"));
    QCOMPARE(query.queryItemValue("isp", QUrl::FullyDecoded), QStringLiteral("AT&T Services"));
    QCOMPARE(query.queryItemValue("t"), QStringLiteral("json"));
    QCOMPARE(query.queryItems().constLast().first, QStringLiteral("key"));

    // The key: MD5 of session id, "|" and union id; either part changes it.
    QCOMPARE(PortForward::apiLinkKey("", ""), QStringLiteral("b99834bc19bbad24580b3adfa04fb947")); // MD5("|")
    QCOMPARE(PortForward::apiLinkKey("a", "b"),
        QString::fromLatin1(QCryptographicHash::hash("a|b", QCryptographicHash::Md5).toHex()));
    QVERIFY(PortForward::apiLinkKey("ab", "") != PortForward::apiLinkKey("a", "b"));
    QVERIFY(QRegularExpression("^[0-9a-f]{32}$").match(key).hasMatch());
}

QTEST_MAIN(TestPortTable)
#include "test_porttable.moc"
