// The road of one binding through the Controller, against the real zq-service, clientProxy and
// curl: bind, traffic through the port, re-bind, release, a new range, the list files, and no
// helper left behind by a client that is killed.
#include "controller.h"
#include "helperprocess.h"
#include "linecatalogue.h"
#include "payloadcodec.h"
#include "peerfixture.h"
#include "portinfo.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <csignal>

using zq::catalogue::Plan;
using zq::lists::Kind;

namespace {

ProxyServerInfo* record(QObject* object)
{
    return qobject_cast<ProxyServerInfo*>(object);
}

bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    // A zombie has exited; only its parent's bookkeeping is left.
    const int close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z";
}

} // namespace

class TestBindingsE2E : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void s5LineCarriesTrafficThroughItsPort();
    void residentialLineCarriesTrafficThroughItsPort();
    void rebindingMovesTheLineToAnotherPort();
    void freeingCutsLiveTransfersAndRefusesNewOnes();
    void listFilesDecodeAndComeBackWithTheirPorts();
    void newRangeWhileLinesAreBound();
    void killedClientLeavesNoHelper();

private:
    ProxyServerInfo* searchLine(Plan plan);
    // Binds through the Controller and waits for the outcome; returns the status arguments.
    QList<QVariant> waitBind();
    int portOf(const QString& ip) const;

    peers::Service m_service;
    QTemporaryDir m_docs, m_app, m_state;
    Controller* m_c = nullptr;
    int m_start = 0;
    QString m_s5Ip, m_resiIp;
};

void TestBindingsE2E::initTestCase()
{
    QVERIFY(m_service.start(m_state.filePath("state.json")));
    m_c = new Controller(m_docs.path(), m_app.path());
    m_c->init();
    m_start = peers::freeRange(12);
    QVERIFY(m_start > 0);
    m_c->portTable()->setStartPort(m_start);
    m_c->setPortNum(12);
    m_c->createPortInfoList();
    QCOMPARE(m_c->getPortInfoList().size(), 12);
    m_c->helper()->setProgram(QStringLiteral(ZQ_BIN_DIR "/clientProxy"));

    QSignalSpy login(m_c, &Controller::loginStatus);
    m_c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QTRY_COMPARE_WITH_TIMEOUT(login.count(), 1, 10000);
    QVERIFY(login.first().at(0).toBool());
    QSignalSpy ips(m_c, &Controller::getUserIpNumsStatus);
    m_c->getUserIpNumber();
    QTRY_COMPARE_WITH_TIMEOUT(ips.count(), 1, 10000);
    QVERIFY(UserInfo::instance()->getIpNums() > 0);

    QSignalSpy status(m_c, &Controller::sendServerStatus);
    QVERIFY(m_c->startProxy());
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 15000);
    QVERIFY(status.first().at(0).toBool());
    QVERIFY(m_c->getIsStart());
}

void TestBindingsE2E::cleanupTestCase()
{
    if (m_c)
        m_c->stopProxy();
    delete m_c;
}

ProxyServerInfo* TestBindingsE2E::searchLine(Plan plan)
{
    QSignalSpy s5(m_c, &Controller::getLineListStatus);
    QSignalSpy resi(m_c, &Controller::getResiTrafficListStatus);
    if (plan == Plan::S5)
        m_c->getLineListV2("", "", "", "", "", "", "", 5);
    else
        m_c->getResiTrafficLineList("", "", "", "", "", "", "", 5);
    QSignalSpy& spy = plan == Plan::S5 ? s5 : resi;
    if (!QTest::qWaitFor([&spy]() { return !spy.isEmpty(); }, 10000) || !spy.first().at(0).toBool())
        return nullptr;
    const QList<QObject*> lines = plan == Plan::S5 ? m_c->getProxyServerInfo() : m_c->getProxyServerResiTrafficInfo();
    return lines.isEmpty() ? nullptr : record(lines.first());
}

QList<QVariant> TestBindingsE2E::waitBind()
{
    QSignalSpy spy(m_c, &Controller::setPortSessionStatus);
    if (!QTest::qWaitFor([&spy]() { return !spy.isEmpty(); }, 15000))
        return {};
    return spy.first();
}

int TestBindingsE2E::portOf(const QString& ip) const
{
    for (PortInfo* slot : m_c->portTable()->list()) {
        auto* line = record(slot->getLineInfo());
        if (slot->getUsed() && line && line->getIp() == ip)
            return slot->getPort();
    }
    return 0;
}

void TestBindingsE2E::s5LineCarriesTrafficThroughItsPort()
{
    ProxyServerInfo* line = searchLine(Plan::S5);
    QVERIFY(line);
    m_s5Ip = line->getIp();
    const int ipsBefore = UserInfo::instance()->getIpNums();
    QSignalSpy status(m_c, &Controller::setPortSessionStatus);
    m_c->setPortSession(line->getSessionId(), line->getIp(), 0, line->getProxyIp(), line->getSn(), 0,
        line->getCountry(), line->getRegion(), true, true);
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 15000);
    QCOMPARE(status.first(), QVariantList({ true, "Bind Success!", m_s5Ip }));

    // Port 0 took the first free slot; the line heads the today list with its stamp.
    const int port = portOf(m_s5Ip);
    QCOMPARE(port, m_start);
    QCOMPARE(m_c->getTodayProxyServerInfo().first(), line);
    QCOMPARE(line->getBindPort(), port);
    QCOMPARE(line->getBindType(), QStringLiteral("Manual"));
    QVERIFY(!m_c->getProxyServerInfo().contains(line));
    QCOMPARE(UserInfo::instance()->getIpNums(), ipsBefore - 1);

    QCOMPARE(peers::exitIpThrough(port, m_service.base()), m_s5Ip);
}

void TestBindingsE2E::residentialLineCarriesTrafficThroughItsPort()
{
    ProxyServerInfo* line = searchLine(Plan::ResiTraffic);
    QVERIFY(line);
    m_resiIp = line->getIp();
    QSignalSpy status(m_c, &Controller::setPortSessionStatus);
    m_c->setPortSessionResiTraffic(line->getSessionId(), line->getIp(), 0, line->getProxyIp(), line->getSn(),
        line->getCountry(), line->getRegion(), true, line->getPlanTypeKey());
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 15000);
    QCOMPARE(status.first(), QVariantList({ true, "Bind Success!", m_resiIp }));
    const int port = portOf(m_resiIp);
    QCOMPARE(port, m_start + 1);
    QCOMPARE(m_c->portTable()->slotFor(port)->getPlanType(), QStringLiteral("Resi Traffic"));
    QCOMPARE(m_c->getTodayResiTrafficProxyServerInfo().first(), line);
    QCOMPARE(peers::exitIpThrough(port, m_service.base()), m_resiIp);
}

void TestBindingsE2E::rebindingMovesTheLineToAnotherPort()
{
    QVERIFY(!m_c->getTodayProxyServerInfo().isEmpty());
    ProxyServerInfo* line = record(m_c->getTodayProxyServerInfo().first());
    QVERIFY(line);
    const int oldPort = line->getBindPort();
    const int newPort = m_start + 5;
    QSignalSpy status(m_c, &Controller::setPortSessionStatus);
    const int ipsBefore = UserInfo::instance()->getIpNums();
    m_c->setPortSession(line->getSessionId(), line->getIp(), newPort, line->getProxyIp(), line->getSn(), newPort,
        line->getCountry(), line->getRegion(), false, true);
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 15000);
    QCOMPARE(status.first().at(0).toBool(), true);

    QCOMPARE(line->getBindPort(), newPort);
    QVERIFY(!m_c->portTable()->slotFor(oldPort)->getUsed());
    QVERIFY(m_c->portTable()->slotFor(oldPort)->getPlanType().isEmpty());
    QCOMPARE(m_c->portTable()->slotFor(newPort)->getLineInfo(), line);
    QCOMPARE(UserInfo::instance()->getIpNums(), ipsBefore); // re-binding costs nothing
    QCOMPARE(peers::exitIpThrough(newPort, m_service.base()), m_s5Ip);
    QCOMPARE(peers::curlThrough(oldPort, m_service.base()).exitCode == 0, false);
}

void TestBindingsE2E::freeingCutsLiveTransfersAndRefusesNewOnes()
{
    // A target that accepts and never answers keeps each transfer open until the relay cuts it.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    const int s5Port = portOf(m_s5Ip);
    const int resiPort = portOf(m_resiIp);
    QVERIFY(s5Port && resiPort);
    auto start = [&silent](int port) {
        auto* curl = new QProcess;
        curl->start("curl",
            { "-s", "--max-time", "30", "--socks5-hostname", QStringLiteral("127.0.0.1:%1").arg(port),
                QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()) });
        return curl;
    };
    QScopedPointer<QProcess> s5Transfer(start(s5Port));
    QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 10000);
    QTest::qWait(200);
    QCOMPARE(s5Transfer->state(), QProcess::Running);

    QSignalSpy one(m_c, &Controller::freeOnePortStatus);
    m_c->freeOneProxyPort(s5Port);
    QTRY_VERIFY_WITH_TIMEOUT(!one.isEmpty(), 10000);
    QCOMPARE(one.first(), QVariantList({ true, "", s5Port }));
    QTRY_COMPARE_WITH_TIMEOUT(s5Transfer->state(), QProcess::NotRunning, 5000);
    QVERIFY(s5Transfer->exitCode() != 0);
    QVERIFY(!m_c->getTodayProxyServerInfo().isEmpty());
    QCOMPARE(record(m_c->getTodayProxyServerInfo().first())->getBindPort(), 0);
    QVERIFY(!m_c->portTable()->slotFor(s5Port)->getUsed());
    QVERIFY(peers::curlThrough(s5Port, m_service.base()).exitCode != 0);
    QCOMPARE(peers::exitIpThrough(resiPort, m_service.base()), m_resiIp);

    QScopedPointer<QProcess> resiTransfer(start(resiPort));
    QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 10000);
    QSignalSpy all(m_c, &Controller::freePortStatus);
    m_c->freeProxyPort();
    QTRY_VERIFY_WITH_TIMEOUT(!all.isEmpty(), 10000);
    QCOMPARE(all.first(), QVariantList({ true, "" }));
    QTRY_COMPARE_WITH_TIMEOUT(resiTransfer->state(), QProcess::NotRunning, 5000);
    for (PortInfo* slot : m_c->portTable()->list())
        QVERIFY(!slot->getUsed());
    QVERIFY(!m_c->getTodayResiTrafficProxyServerInfo().isEmpty());
    QCOMPARE(record(m_c->getTodayResiTrafficProxyServerInfo().first())->getBindPort(), 0);
    QVERIFY(peers::curlThrough(resiPort, m_service.base()).exitCode != 0);
}

void TestBindingsE2E::listFilesDecodeAndComeBackWithTheirPorts()
{
    // Bind both lines again (re-binds of today lines), then write all six files.
    for (const QString& ip : { m_s5Ip, m_resiIp }) {
        const bool s5 = ip == m_s5Ip;
        const QList<QObject*> today = s5 ? m_c->getTodayProxyServerInfo() : m_c->getTodayResiTrafficProxyServerInfo();
        QVERIFY(!today.isEmpty());
        ProxyServerInfo* line = record(today.first());
        const int port = m_start + (s5 ? 2 : 3);
        QSignalSpy status(m_c, &Controller::setPortSessionStatus);
        if (s5)
            m_c->setPortSession(line->getSessionId(), ip, port, line->getProxyIp(), line->getSn(), port,
                line->getCountry(), line->getRegion(), false, true);
        else
            m_c->setPortSessionResiTraffic(line->getSessionId(), ip, port, line->getProxyIp(), line->getSn(),
                line->getCountry(), line->getRegion(), true, line->getPlanTypeKey());
        QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 15000);
        QVERIFY2(status.first().at(0).toBool(), qPrintable(status.first().at(1).toString()));
    }
    QVERIFY(m_c->saveTodayList() && m_c->saveTodayUnlimitList() && m_c->saveTodayResiTrafficList());
    QVERIFY(m_c->saveFavouriteList() && m_c->saveFavouriteUnlimitList() && m_c->saveFavouriteResiTrafficList());
    m_c->saveConfigToFile();

    const QString dir = m_c->paths().configDir + "/demo";
    for (const char* suffix : { "_todayList.json", "_todayUnlimitList.json", "_todayResidentTrafficList.json",
             "_favouriteList.json", "_favouriteUnlimitList.json", "_favouriteResidentTrafficList.json" }) {
        QProcess python;
        python.start(QStringLiteral(ZQ_PYTHON), { QStringLiteral(ZQ_REFERENCE_CODEC), QStringLiteral("decode") });
        QFile file(dir + suffix);
        QVERIFY2(file.open(QIODevice::ReadOnly), suffix);
        python.write(file.readAll());
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(10000));
        const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput());
        QVERIFY2(doc.isArray(), suffix);
        for (const QJsonValue& v : doc.array())
            QCOMPARE(v.toObject().size(), 19);
        if (QByteArray(suffix) == "_todayList.json") {
            QCOMPARE(doc.array().first().toObject().value("ip").toString(), m_s5Ip);
            QCOMPARE(doc.array().first().toObject().value("bindPort").toInt(), m_start + 2);
        }
    }

    // A second client on the same Documents folder finds both lines on their ports again.
    Controller again(m_docs.path(), m_app.path());
    again.init();
    QCOMPARE(again.getStartPort(), m_start);
    PortInfo* s5Slot = again.portTable()->slotFor(m_start + 2);
    PortInfo* resiSlot = again.portTable()->slotFor(m_start + 3);
    QVERIFY(s5Slot && resiSlot);
    QVERIFY(s5Slot->getUsed());
    QCOMPARE(record(s5Slot->getLineInfo())->getIp(), m_s5Ip);
    QCOMPARE(s5Slot->getPlanType(), QStringLiteral("S5"));
    QVERIFY(!again.getTodayResiTrafficProxyServerInfo().isEmpty());
    QCOMPARE(record(again.getTodayResiTrafficProxyServerInfo().first())->getBindPort(), m_start + 3);
}

void TestBindingsE2E::newRangeWhileLinesAreBound()
{
    const int newStart = peers::freeRange(8);
    QVERIFY(newStart > 0);
    QCOMPARE(m_c->setPortNumStr("999", "8"), QStringLiteral("port begin:999 too small,please input >1000\n"));
    QCOMPARE(m_c->setPortNumStr("65500", "100"),
        QStringLiteral("port end:65599 too big,please input Begin Port+Port Number<65535\n"));
    QCOMPARE(m_c->getStartPort(), m_start);

    const QString report = m_c->setPortNumStr(QString::number(newStart), "8");
    QVERIFY2(report.endsWith("8 port can be used \n0 port occupied"), qPrintable(report));
    QCOMPARE(m_c->getPortRange(), QStringLiteral("%1-%2").arg(newStart).arg(newStart + 7));
    QCOMPARE(m_c->portTable()->list().first()->getPort(), newStart);
    QCOMPARE(m_c->portTable()->list().size(), 8);
    // The helper took the new range: the old ports are closed, a new one answers SOCKS5.
    QTRY_VERIFY_WITH_TIMEOUT(peers::curlThrough(m_start + 2, m_service.base(), 3).exitCode == 7, 10000);
    const peers::Curl fresh = peers::curlThrough(newStart, m_service.base(), 3);
    QVERIFY2(fresh.exitCode == 97, qPrintable(QString::number(fresh.exitCode)));
    // The settings file keeps the new range.
    Controller reader(m_docs.path(), m_app.path());
    reader.readConfigFromFile();
    QCOMPARE(reader.getStartPort(), newStart);
    m_start = newStart;
}

void TestBindingsE2E::killedClientLeavesNoHelper()
{
    QProcess probe;
    probe.setProgram(QStringLiteral(ZQ_PROBE));
    probe.setArguments({ m_docs.path() + "/probe", QStringLiteral(ZQ_BIN_DIR "/clientProxy") });
    probe.start();
    QVERIFY(probe.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(probe.canReadLine(), 20000);
    const QByteArray line = probe.readLine().trimmed();
    QVERIFY2(line.startsWith("helper "), line.constData());
    const qint64 helperPid = line.mid(7).toLongLong();
    QVERIFY(helperPid > 0);
    QVERIFY(!processGone(helperPid));
    ::kill(pid_t(probe.processId()), SIGKILL);
    QVERIFY(probe.waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(processGone(helperPid), 10000);

    // And after stopProxy of a living client.
    QVERIFY(m_c->getIsStart());
    const qint64 ours = m_c->helper()->process()->processId();
    m_c->stopProxy();
    QVERIFY(!m_c->getIsStart());
    QTRY_VERIFY_WITH_TIMEOUT(processGone(ours), 10000);
}

QTEST_MAIN(TestBindingsE2E)
#include "test_bindings_e2e.moc"
