// The local event pass and reconciliation with the helper's bindings, on a clock moved forward.
#include "bindingrig.h"
#include "upkeep.h"

#include <QtTest>

namespace {

constexpr int kSix = 21600;
constexpr int kDay = 86400;

} // namespace

struct UpkeepRig : Rig {
    Upkeep upkeep { &table, &lists, &bindings, &addresses };
    UpkeepRig()
    {
        upkeep.setPoster([this](const QString& url, const FormFields& f, const QString& tag) {
            sent.append({ url, f, tag });
        });
    }
    // A today line bound `age` seconds ago on port, its slot operated `operated` seconds ago.
    ProxyServerInfo* bound(Plan plan, const QString& ip, int port, int age, int operated)
    {
        const qint64 now = zq::clock::now();
        ProxyServerInfo* line = saved(Kind::Today, plan, ip);
        line->setBindPort(port);
        line->setBindTime(int(now - age));
        PortInfo* slot = table.slotFor(port);
        slot->setUsed(true);
        slot->setLineInfo(line);
        slot->setPlanType(plan == Plan::S5 ? "S5" : plan == Plan::Unlimited ? "S5Unlimited" : "Resi Traffic");
        slot->setOperateTime(uint(now - operated));
        return line;
    }
    QStringList freed() const
    {
        QStringList out;
        for (const Sent& s : sent)
            if (s.url.endsWith("/api/del_port_session"))
                out << QString::fromUtf8(s.field("port"));
        return out;
    }
};

class TestUpkeep : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        zq::clock::setOffset(0);
        UserInfo::instance()->setExpireUTC(uint(zq::clock::now() + 3600));
    }
    void runOutRules_data();
    void runOutRules();
    void slotWithoutLineIsClearedLocally();
    void linesLeftOutsideTheRange();
    void reconciliationMovesAndClears();
};

void TestUpkeep::runOutRules_data()
{
    QTest::addColumn<int>("plan");
    QTest::addColumn<int>("age");
    QTest::addColumn<int>("operated");
    QTest::addColumn<bool>("expiredAccount");
    QTest::addColumn<bool>("freed");
    QTest::newRow("S5 both past six hours") << int(Plan::S5) << kSix + 1 << kSix + 1 << false << true;
    QTest::newRow("S5 operated lately") << int(Plan::S5) << kSix + 1 << 100 << false << false;
    QTest::newRow("S5 exactly six hours") << int(Plan::S5) << kSix << kSix + 1 << false << false;
    QTest::newRow("unlimited after expiry") << int(Plan::Unlimited) << 60 << 60 << true << true;
    QTest::newRow("unlimited within a day") << int(Plan::Unlimited) << kDay << kDay + 5 << false << false;
    QTest::newRow("residential a day old") << int(Plan::ResiTraffic) << kDay + 1 << kDay + 1 << false << true;
    QTest::newRow("residential seven hours") << int(Plan::ResiTraffic) << 7 * 3600 << 7 * 3600 << false << false;
}

void TestUpkeep::runOutRules()
{
    QFETCH(int, plan);
    QFETCH(int, age);
    QFETCH(int, operated);
    QFETCH(bool, expiredAccount);
    QFETCH(bool, freed);
    UpkeepRig rig;
    if (expiredAccount)
        UserInfo::instance()->setExpireUTC(uint(zq::clock::now() - 1));
    ProxyServerInfo* line = rig.bound(Plan(plan), "10.0.0.1", 41002, age, operated);
    rig.upkeep.doLocalEvent();
    QCOMPARE(rig.freed(), freed ? QStringList { "41002" } : QStringList());
    QCOMPARE(rig.table.slotFor(41002)->getUsed(), !freed);
    QCOMPARE(line->getIsExpired(), freed);
    QCOMPARE(line->getBindPort(), freed ? 0 : 41002);
    // A second pass does not free it again.
    rig.sent.clear();
    rig.upkeep.doLocalEvent();
    QVERIFY(rig.freed().isEmpty());
}

void TestUpkeep::slotWithoutLineIsClearedLocally()
{
    UpkeepRig rig;
    const qint64 now = zq::clock::now();
    PortInfo* old = rig.table.slotFor(41001);
    old->setUsed(true);
    old->setPlanType("S5");
    old->setOperateTime(uint(now - kSix - 1));
    PortInfo* fresh = rig.table.slotFor(41002);
    fresh->setUsed(true);
    fresh->setPlanType("S5");
    fresh->setOperateTime(uint(now - 60));
    rig.upkeep.doLocalEvent();
    QVERIFY(!old->getUsed());
    QVERIFY(old->getPlanType().isEmpty());
    QVERIFY(fresh->getUsed());
    QVERIFY(rig.sent.isEmpty());
}

void TestUpkeep::linesLeftOutsideTheRange()
{
    UpkeepRig rig;
    const int now = int(zq::clock::now());
    ProxyServerInfo* s5 = rig.saved(Kind::Today, Plan::S5, "10.0.0.1");
    s5->setBindPort(30001);
    s5->setBindTime(now - kSix - 1);
    ProxyServerInfo* recent = rig.saved(Kind::Today, Plan::S5, "10.0.0.2");
    recent->setBindPort(30002);
    recent->setBindTime(now - 60);
    ProxyServerInfo* unlimited = rig.saved(Kind::Today, Plan::Unlimited, "10.0.0.3");
    unlimited->setBindPort(30003);
    unlimited->setBindTime(now - 60);
    rig.upkeep.doLocalEvent();
    QCOMPARE(rig.freed(), QStringList { "30001" });
    QVERIFY(s5->getIsExpired());
    QCOMPARE(recent->getBindPort(), 30002);
    QCOMPARE(unlimited->getBindPort(), 30003);
    UserInfo::instance()->setExpireUTC(uint(now - 1));
    rig.upkeep.doLocalEvent();
    QCOMPARE(unlimited->getBindPort(), 0);
    QVERIFY(rig.freed().contains("30003"));
}

void TestUpkeep::reconciliationMovesAndClears()
{
    UpkeepRig rig;
    ProxyServerInfo* a = rig.bound(Plan::S5, "10.0.0.1", 41003, 60, 60);
    rig.lists.list(Kind::Favourite, Plan::S5).append(a);
    ProxyServerInfo* b = rig.bound(Plan::S5, "10.0.0.2", 41004, 60, 60);
    ProxyServerInfo* c = rig.bound(Plan::ResiTraffic, "10.0.0.3", 41001, 60, 60);
    auto element = [](const QString& ip, int port, const QString& status) {
        return QJsonObject { { "ip", ip }, { "port", port }, { "status", status }, { "msg", status } };
    };
    rig.upkeep.dealCompareIpAndPortState({ { "code", 0 },
        { "data",
            QJsonArray { element("10.0.0.1", 41005, "success"), element("10.0.0.9", 41004, "success"),
                element("10.0.0.3", 41001, "fail") } } });
    QCOMPARE(a->getBindPort(), 41005);
    QCOMPARE(rig.table.slotFor(41005)->getLineInfo(), a);
    QVERIFY(rig.table.slotFor(41005)->getUsed());
    QVERIFY(!rig.table.slotFor(41003)->getUsed());
    QCOMPARE(b->getBindPort(), 0); // the helper has another IP on its port
    QCOMPARE(c->getBindPort(), 0); // a failed binding unbinds
    QVERIFY(!rig.table.slotFor(41001)->getUsed());

    rig.upkeep.compareIpAndPortState();
    QVERIFY(rig.sent.last().url.endsWith("/api/checkApiPort"));
    QVERIFY(rig.sent.last().fields.isEmpty());
}

QTEST_MAIN(TestUpkeep)
#include "test_upkeep.moc"
