// The driver channel through the Controller against the real stand-in driver: start, add and
// delete with their answers, the datagram port learned from "listenPort", stop with and without
// an answer, a failed launch, the seventeen arguments as the driver and the reference codec read
// them, and the program port given back to a running clientProxy or freed locally.
#include "controller.h"
#include "driverarguments.h"
#include "driverchannel.h"
#include "helperprocess.h"
#include "linecatalogue.h"
#include "peerfixture.h"
#include "platform.h"
#include "portinfo.h"
#include "porttable.h"
#include "programlist.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QThreadPool>
#include <QUdpSocket>

using zq::catalogue::Plan;
using zq::lists::Kind;

namespace {

const QString kDriverName = QStringLiteral("Tarn_Driver");

QList<qint64> drivers()
{
    return zq::platform::processIdsByName(kDriverName);
}

// An installation folder carrying the stand-in driver, as the build lays it out.
bool installDriver(const QString& appDir)
{
    QDir().mkpath(appDir + "/TarnDriver");
    return QFile::copy(QStringLiteral(ZQ_BIN_DIR "/TarnDriver/Tarn_Driver"), appDir + "/TarnDriver/Tarn_Driver");
}

QString decodeWithReference(const QString& text)
{
    QProcess python;
    python.start(QStringLiteral(ZQ_PYTHON), { ZQ_REFERENCE_CODEC, "decode", "--driver-key" });
    python.write(text.toUtf8());
    python.closeWriteChannel();
    if (!python.waitForFinished(10000) || python.exitCode() != 0)
        return QStringLiteral("<reference codec failed>");
    return QString::fromUtf8(python.readAllStandardOutput());
}

QStringList statusTexts(const QSignalSpy& spy)
{
    QStringList texts;
    for (const QList<QVariant>& args : spy)
        texts << args.first().toString();
    return texts;
}

QString makeProgram(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n");
    file.setPermissions(file.permissions() | QFile::ExeOwner);
    return path;
}

} // namespace

class TestDriverE2E : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void startAddDeleteStop();
    void driverReadsTheSeventeenArguments();
    void listenPortMovesTheSends();
    void silentDriverNeitherHoldsTheLoopNorTheExit();
    void failedLaunchEndsTheLoop();
    void stopWithoutHelperFreesTheProgramPortLocally();
    void stopWithHelperFreesTheProgramPortAtTheHelper();
    void clientThatEndsOrIsKilledLeavesNoDriver();

private:
    // A Controller on fresh folders with the driver installed; the caller deletes it.
    Controller* newController(bool withDriver = true);
    bool startDriver(Controller* c, QSignalSpy& status);
    QString driverLog(Controller* c) const;

    QTemporaryDir m_root;
    int m_made = 0;
};

void TestDriverE2E::initTestCase()
{
    QVERIFY(QFile::exists(ZQ_BIN_DIR "/TarnDriver/Tarn_Driver"));
    QVERIFY2(drivers().isEmpty(), "a driver from elsewhere runs");
}

void TestDriverE2E::cleanup()
{
    qunsetenv("TARN_DRIVER_SILENT_EXIT");
    if (!drivers().isEmpty()) {
        zq::platform::killProcessTree(kDriverName);
        QFAIL("a driver was left running");
    }
}

Controller* TestDriverE2E::newController(bool withDriver)
{
    const QString base = m_root.filePath(QString::number(++m_made));
    if (withDriver && !installDriver(base + "/app"))
        return nullptr;
    QDir().mkpath(base + "/app");
    auto* c = new Controller(base + "/docs", base + "/app");
    c->init();
    return c;
}

bool TestDriverE2E::startDriver(Controller* c, QSignalSpy& status)
{
    c->startProgramProxyThread();
    return QTest::qWaitFor([&status]() { return statusTexts(status).contains("Start program success!"); }, 10000);
}

QString TestDriverE2E::driverLog(Controller* c) const
{
    QFile log(c->paths().driverDir + "/Tarn_Driver.log");
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

void TestDriverE2E::startAddDeleteStop()
{
    Controller* c = newController();
    QVERIFY(c);
    // The installation's driver reached the driver folder.
    QVERIFY(QFileInfo(c->paths().driverDir + "/Tarn_Driver").isExecutable());
    QSignalSpy status(c, &Controller::programProxyStatus);
    QVERIFY(!c->getIsDriverRun());
    QVERIFY(startDriver(c, status));
    QVERIFY(c->getIsDriverRun());
    QVERIFY(c->checkDriverStatus());
    QTRY_VERIFY(c->driver()->sendUdpPort() > 0);
    QVERIFY(c->driver()->uiUdpPort() > 0);

    // A second start while it runs changes nothing.
    c->startProgramProxyThread();
    QTest::qWait(300);
    QCOMPARE(drivers().size(), 1);

    const QString tool = makeProgram(m_root.filePath("apps/tool"));
    c->addPrograme(tool);
    QTRY_VERIFY(statusTexts(status).contains("Add program success!"));
    c->delPrograme("tool");
    QTRY_VERIFY(statusTexts(status).contains("Delete program success!"));
    QTRY_VERIFY(driverLog(c).contains("no longer proxying program tool"));

    c->stopProgramProxy();
    QTRY_VERIFY(statusTexts(status).contains("Strop program success!"));
    QVERIFY(!c->getIsDriverRun());
    QTRY_VERIFY(!c->driver()->isServing());
    QTRY_VERIFY(drivers().isEmpty());
    QVERIFY(!c->checkDriverStatus());
    QCOMPARE(statusTexts(status),
        QStringList(
            { "Start program success!", "Add program success!", "Delete program success!", "Strop program success!" }));

    // Sends stop with the driver; a new start brings a new driver.
    QVERIFY(!c->driver()->send("ADD late"));
    status.clear();
    QVERIFY(startDriver(c, status));
    QCOMPARE(drivers().size(), 1);
    c->stopProgramProxy();
    QTRY_VERIFY(drivers().isEmpty());
    delete c;
}

void TestDriverE2E::driverReadsTheSeventeenArguments()
{
    Controller* c = newController();
    QVERIFY(c);
    QSignalSpy status(c, &Controller::programProxyStatus);
    QVERIFY(startDriver(c, status)); // the list holds only its placeholder
    const QString log = driverLog(c);
    const int at = log.indexOf("understood ");
    QVERIFY(at >= 0);
    const QJsonArray understood
        = QJsonDocument::fromJson(log.mid(at + 11, log.indexOf('\n', at) - at - 11).toUtf8()).array();
    const QStringList expected { "SOCK5", "", "", QStringLiteral("127.0.0.1:%1").arg(c->getPortForProgrameProxy()), "",
        ",", QString::number(c->driver()->uiUdpPort()), "10086", "0", "", "true",
        zq::programproxy::driverFixedProcessList(), "true", "true", zq::programproxy::kDriverProbeHost, "false",
        "false" };
    QCOMPARE(understood.toVariantList().size(), 17);
    QCOMPARE(QVariant(understood.toVariantList()).toStringList(), expected);
    QVERIFY(c->getPortForProgrameProxy() > 0);

    // The reference codec reads the encoded arguments of the command line the same way.
    const QStringList args = zq::platform::splitCommandLine(c->driver()->lastCommandLine());
    QCOMPARE(args.size(), 17);
    for (int i : { 3, 5, 6, 9, 11, 14 })
        QCOMPARE(decodeWithReference(args[i]), expected[i]);
    QVERIFY(expected[11].contains("QQ.exe,            QQApp.exe,"));

    c->stopProgramProxy();
    QTRY_VERIFY(drivers().isEmpty());
    delete c;
}

void TestDriverE2E::listenPortMovesTheSends()
{
    Controller* c = newController();
    QVERIFY(c);
    QSignalSpy status(c, &Controller::programProxyStatus);
    QVERIFY(startDriver(c, status));
    QTRY_VERIFY(c->driver()->sendUdpPort() > 0);
    const int driverPort = c->driver()->sendUdpPort();

    QUdpSocket listener;
    QVERIFY(listener.bind(QHostAddress(QHostAddress::LocalHost), 0));
    auto tell = [c](const QByteArray& datagram) {
        QUdpSocket sender;
        sender.writeDatagram(datagram, QHostAddress::LocalHost, quint16(c->driver()->uiUdpPort()));
    };
    // Unknown states and text that is no JSON are ignored.
    tell("not json");
    tell("{\"state\":\"sleeping\"}");
    tell(QStringLiteral("{\"state\":\"listenPort\",\"Port\":\"%1\"}").arg(listener.localPort()).toUtf8());
    QTRY_COMPARE(c->driver()->sendUdpPort(), int(listener.localPort()));
    c->addPrograme(makeProgram(m_root.filePath("apps/moved")));
    QTRY_VERIFY(listener.hasPendingDatagrams());
    QCOMPARE(listener.receiveDatagram().data(), QByteArray("ADD moved"));

    tell(QStringLiteral("{\"state\":\"listenPort\",\"Port\":\"%1\"}").arg(driverPort).toUtf8());
    QTRY_COMPARE(c->driver()->sendUdpPort(), driverPort);
    c->stopProgramProxy();
    QTRY_VERIFY(statusTexts(status).contains("Strop program success!"));
    QTRY_VERIFY(drivers().isEmpty());
    QCOMPARE(statusTexts(status), QStringList({ "Start program success!", "Strop program success!" }));
    delete c;
}

void TestDriverE2E::silentDriverNeitherHoldsTheLoopNorTheExit()
{
    qputenv("TARN_DRIVER_SILENT_EXIT", "1");
    Controller* c = newController();
    QVERIFY(c);
    QSignalSpy status(c, &Controller::programProxyStatus);
    QVERIFY(startDriver(c, status));
    QTRY_VERIFY(c->driver()->sendUdpPort() > 0);

    // stopProgramProxy: the loop gives the driver a moment, then ends; sends stop.
    c->stopProgramProxy();
    QTRY_VERIFY_WITH_TIMEOUT(!c->driver()->isServing(), 3000);
    QVERIFY(!c->getIsDriverRun());
    QVERIFY(QThreadPool::globalInstance()->waitForDone(3000));
    QVERIFY(driverLog(c).contains("Exit ignored"));
    QVERIFY(!statusTexts(status).contains("Strop program success!"));
    zq::platform::killProcessTree(kDriverName);
    delete c;

    // The Controller's destruction ends the loop at once, so nothing waits for the pool.
    c = newController();
    QVERIFY(c);
    QSignalSpy again(c, &Controller::programProxyStatus);
    QVERIFY(startDriver(c, again));
    QElapsedTimer timer;
    timer.start();
    delete c;
    QVERIFY(QThreadPool::globalInstance()->waitForDone(2000));
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    zq::platform::killProcessTree(kDriverName);
}

void TestDriverE2E::failedLaunchEndsTheLoop()
{
    Controller* c = newController(false);
    QVERIFY(c);
    QSignalSpy status(c, &Controller::programProxyStatus);
    c->startProgramProxyThread();
    QTRY_VERIFY_WITH_TIMEOUT(!c->driver()->isServing(), 3000);
    QVERIFY(!c->getIsDriverRun());
    QVERIFY(QThreadPool::globalInstance()->waitForDone(3000));
    QVERIFY(status.isEmpty());
    QVERIFY(!c->driver()->send("Exit"));

    // Once the driver is in place, a new start works.
    QVERIFY(installDriver(m_root.filePath("late")));
    QVERIFY(QFile::copy(m_root.filePath("late/TarnDriver/Tarn_Driver"), c->paths().driverDir + "/Tarn_Driver"));
    QVERIFY(startDriver(c, status));
    c->stopProgramProxy();
    QTRY_VERIFY(drivers().isEmpty());
    delete c;
}

void TestDriverE2E::stopWithoutHelperFreesTheProgramPortLocally()
{
    Controller* c = newController();
    QVERIFY(c);
    const int programPort = c->getPortForProgrameProxy();
    UserInfo::instance()->setUserName("demo");
    // A range that holds the program port, its slot showing a today line.
    c->portTable()->setStartPort(programPort);
    c->setPortNum(2);
    c->createPortInfoList();
    PortInfo* slot = c->portTable()->slotFor(programPort);
    QVERIFY(slot);
    auto* line = new ProxyServerInfo;
    line->setIp("127.0.9.9");
    line->setBindPort(programPort);
    c->savedLists()->adopt(line);
    c->savedLists()->list(Kind::Today, Plan::S5).append(line);
    slot->setUsed(true);
    slot->setPlanType("S5");
    slot->setLineInfo(line);

    QVERIFY(!c->getIsStart());
    c->stopProgramProxy();
    QVERIFY(!slot->getUsed());
    QCOMPARE(slot->getPlanType(), QString());
    QCOMPARE(slot->getLineInfo(), nullptr);
    QCOMPARE(line->getBindPort(), 0);
    QVERIFY(QFile::exists(c->paths().configDir + "/demo_todayList.json"));
    delete c;
}

void TestDriverE2E::stopWithHelperFreesTheProgramPortAtTheHelper()
{
    peers::Service service;
    QTemporaryDir state;
    QVERIFY(service.start(state.filePath("state.json")));
    Controller* c = newController();
    QVERIFY(c);
    const int start = peers::freeRange(4);
    QVERIFY(start > 0);
    c->portTable()->setStartPort(start);
    c->setPortNum(4);
    c->createPortInfoList();
    c->helper()->setProgram(QStringLiteral(ZQ_BIN_DIR "/clientProxy"));
    QSignalSpy login(c, &Controller::loginStatus);
    c->login("demo", "demo123");
    QTRY_COMPARE_WITH_TIMEOUT(login.count(), 1, 10000);
    QVERIFY(login.first().first().toBool());
    QSignalSpy ips(c, &Controller::getUserIpNumsStatus);
    c->getUserIpNumber();
    QTRY_COMPARE_WITH_TIMEOUT(ips.count(), 1, 10000);
    QSignalSpy serverStatus(c, &Controller::sendServerStatus);
    QVERIFY(c->startProxy());
    QTRY_VERIFY_WITH_TIMEOUT(!serverStatus.isEmpty(), 15000);
    QVERIFY(serverStatus.first().first().toBool());

    // A line bound to the program port carries traffic.
    QSignalSpy lines(c, &Controller::getLineListStatus);
    c->getLineListV2("", "", "", "", "", "", "", 3);
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 10000);
    auto* line = qobject_cast<ProxyServerInfo*>(c->getProxyServerInfo().value(0));
    QVERIFY(line);
    const int programPort = c->getPortForProgrameProxy();
    QSignalSpy programBound(c, &Controller::bindPortForProgramProxyStatus);
    QSignalSpy bound(c, &Controller::setPortSessionStatus);
    c->setPortSession(line->getSessionId(), line->getIp(), programPort, line->getProxyIp(), line->getSn(), 0,
        line->getCountry(), line->getRegion(), true, true);
    QTRY_VERIFY_WITH_TIMEOUT(!programBound.isEmpty() || !bound.isEmpty(), 15000);
    if (programBound.isEmpty() && bound.first().at(1).toString().contains("held by another program")) {
        c->stopProxy();
        delete c;
        QSKIP("another program took the program port after it was chosen");
    }
    QVERIFY2(!programBound.isEmpty(), qPrintable(bound.value(0).value(1).toString()));
    QCOMPARE(programBound.first(), QVariantList({ true, line->getIp() }));
    QCOMPARE(peers::exitIpThrough(programPort, service.base()), line->getIp());

    // stopProgramProxy with the helper running: the helper frees the port.
    QSignalSpy freed(c, &Controller::freeOnePortStatus);
    c->stopProgramProxy();
    QTRY_VERIFY_WITH_TIMEOUT(!freed.isEmpty(), 10000);
    QCOMPARE(freed.first().at(0).toBool(), true);
    QCOMPARE(freed.first().at(2).toInt(), programPort);
    QCOMPARE(peers::curlThrough(programPort, service.base(), 5).exitCode == 0, false);

    c->stopProxy();
    delete c;
}

void TestDriverE2E::clientThatEndsOrIsKilledLeavesNoDriver()
{
    const QString base = m_root.filePath("probe");
    QVERIFY(installDriver(base + "/app"));
    for (const bool kill : { false, true }) {
        QProcess probe;
        probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe.start(QStringLiteral(ZQ_DRIVER_PROBE), { base + "/docs", base + "/app" });
        QVERIFY(probe.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(probe.canReadLine(), 15000);
        QCOMPARE(probe.readLine(), QByteArray("driver up\n"));
        QCOMPARE(drivers().size(), 1);
        QElapsedTimer timer;
        timer.start();
        if (kill)
            probe.kill();
        else
            probe.write("quit\n"); // the event loop ends; the thread pool must not hold the exit
        QVERIFY(probe.waitForFinished(5000));
        if (!kill)
            QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(drivers().isEmpty(), 5000);
    }
}

QTEST_MAIN(TestDriverE2E)
#include "test_driver_e2e.moc"
