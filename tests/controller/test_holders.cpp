// Records deleted under the holders that only show them (the port-forward view, a today search,
// the port slots): the release check, the views' readers and the release replies must not reach
// a deleted record, and a record its owner lets go must go.
#include "controller.h"
#include "linecatalogue.h"
#include "portbindings.h"
#include "portinfo.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QJsonArray>
#include <QPointer>
#include <QTemporaryDir>
#include <QtTest>

using zq::catalogue::Plan;
using zq::lists::Kind;

namespace {

QJsonObject lineReply(const QStringList& ips)
{
    QJsonArray data;
    for (const QString& ip : ips)
        data.append(QJsonObject { { "ip", ip }, { "sn", "c24=" }, { "server", "127.0.0.1:9" }, { "country", "US" },
            { "city", "" }, { "state", "" }, { "postal", "" }, { "isp", "" }, { "iso", "US" } });
    return { { "code", 0 }, { "data", data } };
}

// Runs what deleteLater scheduled.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestHolders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void forwardViewAfterTheRangeShrinks();
    void forwardViewAfterANewStartPort();
    void todaySearchKeepsNothingAlive();
    void portSlotsLoseTheirLine();

private:
    ProxyServerInfo* today(Plan plan, const QString& ip, int port);

    QTemporaryDir* m_docs = nullptr;
    QTemporaryDir* m_install = nullptr;
    Controller* m_c = nullptr;
};

void TestHolders::init()
{
    UserInfo::instance()->setUserName("holders");
    m_docs = new QTemporaryDir;
    m_install = new QTemporaryDir;
    m_c = new Controller(m_docs->path(), m_install->path());
    m_c->portTable()->setReservedPorts(0, 0);
    m_c->portTable()->setStartPort(42000);
    m_c->setPortNum(6);
    m_c->createPortInfoList();
}

void TestHolders::cleanup()
{
    delete m_c;
    delete m_install;
    delete m_docs;
    flushDeletes();
}

ProxyServerInfo* TestHolders::today(Plan plan, const QString& ip, int port)
{
    auto* r = new ProxyServerInfo;
    r->setIp(ip);
    r->setBindPort(port);
    m_c->savedLists()->adopt(r);
    m_c->savedLists()->list(Kind::Today, plan).append(r);
    if (PortInfo* slot = m_c->portTable()->slotFor(port)) {
        slot->setUsed(true);
        slot->setLineInfo(r);
    }
    return r;
}

void TestHolders::forwardViewAfterTheRangeShrinks()
{
    // One bound line, so the view lists it and then the table's other slots, the last ones too.
    today(Plan::S5, "10.1.0.1", 42000);
    m_c->lines()->dealProxyServerInfo(lineReply({ "10.2.0.1", "10.2.0.2" }));
    QCOMPARE(m_c->getPortForwordList().size(), 6);

    // Settings: the same start, fewer ports. The dropped slots are deleted.
    m_c->setPortNum(3);
    m_c->createPortInfoList();
    flushDeletes();
    QCOMPARE(m_c->portTable()->list().size(), 3);

    // Every reader of what the view showed: the copy text, a new line list (whose release check
    // asks who still shows the old lines), one release and the release of all ports.
    const QString copied = m_c->getCopyAllInfo();
    QCOMPARE(copied, m_c->getLocalIp() + ":42000\n");
    m_c->lines()->dealProxyServerInfo(lineReply({ "10.2.0.3" }));
    flushDeletes();
    QCOMPARE(m_c->getProxyServerInfo().size(), 1);
    m_c->bindings()->dealFreeOneProxyPort(QJsonObject { { "code", 0 } }, "42005");
    m_c->bindings()->dealFreeProxyPort(QJsonObject { { "code", 0 } });
    QCOMPARE(m_c->getCopyAllInfo(), QString());

    // Rebuilt, the view shows the smaller range only.
    QList<int> ports;
    for (QObject* o : m_c->getPortForwordList())
        ports << qobject_cast<PortInfo*>(o)->getPort();
    std::sort(ports.begin(), ports.end());
    QCOMPARE(ports, QList<int>({ 42000, 42001, 42002 }));
}

void TestHolders::forwardViewAfterANewStartPort()
{
    // No today line: the view is the port table itself, and a new start replaces every slot.
    QCOMPARE(m_c->getPortForwordList().size(), 6);
    m_c->portTable()->setStartPort(43000);
    m_c->createPortInfoList();
    flushDeletes();
    m_c->lines()->dealProxyServerInfo(lineReply({ "10.3.0.1" }));
    m_c->lines()->dealProxyServerInfo(lineReply({ "10.3.0.2" }));
    flushDeletes();
    QCOMPARE(m_c->getCopyAllInfo(), QString());
    m_c->bindings()->dealFreeProxyPort(QJsonObject { { "code", 0 } });
    QCOMPARE(m_c->getPortForwordList().size(), 6);
    QCOMPARE(qobject_cast<PortInfo*>(m_c->getPortForwordList().first())->getPort(), 43000);
}

void TestHolders::todaySearchKeepsNothingAlive()
{
    ProxyServerInfo* a = today(Plan::S5, "10.4.0.1", 0);
    today(Plan::S5, "10.4.0.2", 0);
    QCOMPARE(m_c->searchTodayList("S5", "", "", "", "", "", "").size(), 2);

    // The owner lets go of a record the search found: it goes, and the next search is without it.
    QPointer<ProxyServerInfo> gone(a);
    m_c->savedLists()->list(Kind::Today, Plan::S5).removeOne(a);
    m_c->savedLists()->release({ a });
    flushDeletes();
    QVERIFY(gone.isNull());
    const QList<QObject*> found = m_c->searchTodayList("S5", "", "", "", "", "", "");
    QCOMPARE(found.size(), 1);
    QCOMPARE(qobject_cast<ProxyServerInfo*>(found.first())->getIp(), QStringLiteral("10.4.0.2"));

    // A line list replaced while a search is shown: the release check does not stop at the search.
    m_c->lines()->dealProxyServerInfo(lineReply({ "10.4.1.1" }));
    QPointer<QObject> line = m_c->getProxyServerInfo().first();
    m_c->lines()->dealProxyServerInfo(lineReply({ "10.4.1.2" }));
    flushDeletes();
    QVERIFY(line.isNull());
}

void TestHolders::portSlotsLoseTheirLine()
{
    // A slot shows its line weakly: once the owner deletes it the slot reads none, and releases
    // of that port clear only what is still there.
    ProxyServerInfo* bound = today(Plan::S5, "10.5.0.1", 42001);
    QCOMPARE(m_c->getPortForwordList().size(), 6);
    QPointer<ProxyServerInfo> gone(bound);
    m_c->savedLists()->list(Kind::Today, Plan::S5).removeOne(bound);
    m_c->portTable()->slotFor(42001)->clear();
    m_c->savedLists()->release({ bound });
    flushDeletes();
    QVERIFY(gone.isNull());
    QCOMPARE(m_c->portTable()->slotFor(42001)->getLineInfo(), nullptr);
    m_c->bindings()->dealFreeOneProxyPort(QJsonObject { { "code", 0 } }, "42001");
    m_c->bindings()->dealFreeProxyPort(QJsonObject { { "code", 0 } });
    for (QObject* o : m_c->getPortForwordList())
        QCOMPARE(qobject_cast<PortInfo*>(o)->getLineInfo(), nullptr);
}

QTEST_MAIN(TestHolders)
#include "test_holders.moc"
