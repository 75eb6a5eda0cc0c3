// The helper process manager against the real clientProxy (and a zq-service for it to reach),
// plus stand-in helpers for a helper that never answers and one that ignores its closed input.

#include "endpoints.h"
#include "helperprocess.h"
#include "hostlinks.h"
#include "payloadcodec.h"
#include "portsearch.h"
#include "requestlayer.h"
#include "testservers.h"

#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

using zq::helper::HelperHooks;
using zq::helper::HelperProcess;
using zq::helper::LaunchSettings;

namespace {

QString realHelper()
{
    return QStringLiteral(ZQ_BIN_DIR) + QStringLiteral("/clientProxy");
}

bool processExists(qint64 pid)
{
    return pid > 0 && QFile::exists(QStringLiteral("/proc/%1").arg(pid));
}

// One manager with everything it talks to; `events` records the hooks in the order they ran.
struct Rig {
    explicit Rig(const QString& program = realHelper())
    {
        notify.bind(QHostAddress(QHostAddress::LocalHost), 0);
        helper.reset(new HelperProcess(&requests, &addresses));
        helper->setProgram(program);
        helper->setNotificationSocket(&notify);
        helper->setRestartPolicy(3, 200);
        const int rangeStart = zq::ports::firstFreeTcpPort(30000, 31000);
        const quint16 notifyPort = notify.localPort();
        HelperHooks hooks;
        hooks.settings = [rangeStart, notifyPort]() {
            return LaunchSettings { QStringLiteral("demo"), QStringLiteral("demo123"), rangeStart, 2, 0,
                QStringLiteral("union-test"), QStringLiteral("127.0.0.1"), notifyPort, QStringLiteral("sess-1") };
        };
        hooks.saveConfig = [this]() { events << QStringLiteral("save"); };
        hooks.started = [this]() { events << QStringLiteral("started"); };
        hooks.stopped = [this]() { events << QStringLiteral("stopped"); };
        hooks.doLocalEvent = [this]() { events << QStringLiteral("localEvent"); };
        hooks.setAllTodayPortSession = [this]() { events << QStringLiteral("rebind"); };
        hooks.refreshAfterNotification = [this]() { events << QStringLiteral("refresh"); };
        helper->setHooks(hooks);
        // The status signal lands in the same record, to check its place among the hooks.
        QObject::connect(helper.get(), &HelperProcess::sendServerStatus, [this](bool ok, const QString&) {
            events << (ok ? QStringLiteral("status") : QStringLiteral("status-false"));
        });
    }

    qint64 pid() const { return helper->process()->processId(); }

    PayloadCodec codec;
    RequestLayer requests { QStringLiteral("union-test"), &codec };
    zq::ServiceAddresses addresses;
    QUdpSocket notify;
    std::unique_ptr<HelperProcess> helper;
    QStringList events;
};

// An executable shell script in dir: a helper that never serves its API.
QString writeScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("#!/bin/sh\n" + body + "\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    return path;
}

// Listens on port for the whole machine. Earlier helpers leave TIME_WAIT rows on these ports
// that refuse a plain bind; port reuse (as the helper's own server sets it) gets past them.
bool holdPort(QTcpServer& server, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return false;
    }
    return server.setSocketDescriptor(fd);
}

} // namespace

class TestHelperProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void jumpUrl_data();
    void jumpUrl();
    void startTwiceKeepsPortAndRunsHooksInOrder();
    void apiPortSkipsHeldPorts();
    void missingHelperFailsToStart();
    void notificationsRefreshEachAfterThreeSeconds();
    void pollOutlastsRefusalsThenGivesUp();
    void failedStatusReplyEndsPoll();
    void killedHelperIsRestartedWithinBudget();
    void stopProxyNeverRestarts();
    void destructorLeavesNoHelper();

private:
    ServiceProcess m_service;
    QTemporaryDir m_dir;
};

void TestHelperProcess::initTestCase()
{
    QVERIFY(QFile::exists(realHelper()));
    QVERIFY(m_service.start());
    // The helper inherits the environment and reaches this service.
    qputenv("ZQ_ACCOUNT_BASE", m_service.base().toUtf8());
    qputenv("ZQ_RESOURCE_BASE", m_service.base().toUtf8());
}

void TestHelperProcess::jumpUrl_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("register, no token") << "url_register"
                                        << "https://web.test/reg/";
    QTest::newRow("official site") << "url_offical_ZQS5"
                                   << "https://web.test/?autologin=tok";
    QTest::newRow("recharge S5") << "url_recharge_S5"
                                 << "https://web.test/ips/?autologin=tok";
    QTest::newRow("recharge residential on company site") << "url_recharge_ResidentTraffic"
                                                          << "https://corp.test/residential/?autologin=tok";
    QTest::newRow("channel, no token") << "url_telegram"
                                       << "https://t.test/chan";
    QTest::newRow("unknown") << "url_nothing"
                             << "No such URL!";
    QTest::newRow("keys are case-sensitive") << "URL_FAQ"
                                             << "No such URL!";
}

void TestHelperProcess::jumpUrl()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(
        zq::platform::jumpUrl(key, "https://web.test/", "https://corp.test/", "https://t.test/chan", "tok"), expected);
}

void TestHelperProcess::startTwiceKeepsPortAndRunsHooksInOrder()
{
    LogCapture log;
    Rig rig;
    QSignalSpy status(rig.helper.get(), &HelperProcess::sendServerStatus);
    QSignalSpy messages(rig.helper.get(), &HelperProcess::proxyClientMessage);

    QVERIFY(rig.helper->startProxy());
    QVERIFY(rig.helper->isStarted());
    QVERIFY(rig.helper->statusTimer()->isActive());
    const int port = rig.helper->apiPort();
    QVERIFY(port >= 10000 && port < 12000);
    QVERIFY(rig.addresses.localBase().endsWith(QStringLiteral(":%1").arg(port)));
    QVERIFY(messages.contains({ QStringLiteral("proxy start succed!!") }));
    QVERIFY(messages.contains({ QStringLiteral("Start success!") }));

    const QStringList args = rig.helper->lastArguments();
    QCOMPARE(args.size(), 10);
    const QStringList keys { "-api_port=", "-user=", "-pwd=", "-proxy_port_start=", "-proxy_port_num=",
        "-program_port=", "-uuid=", "-inner_ip=", "-udp_port=", "-sessionid=" };
    for (int i = 0; i < keys.size(); ++i)
        QVERIFY2(args[i].startsWith(keys[i]), qPrintable(args[i]));
    QCOMPARE(args[0], QStringLiteral("-api_port=%1").arg(port));
    QCOMPARE(args[8], QStringLiteral("-udp_port=%1").arg(rig.notify.localPort()));
    QVERIFY(!LogCapture::contains(QStringLiteral("-pwd=demo123")));

    QVERIFY(!rig.helper->startProxy());
    QVERIFY(LogCapture::contains(QStringLiteral("proxy already start--")));
    QCOMPARE(rig.helper->apiPort(), port);

    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);
    QCOMPARE(status.at(0).at(0).toBool(), true);
    const QString address = status.at(0).at(1).toString();
    QVERIFY(!address.isEmpty());
    QCOMPARE(rig.helper->proxyServerAddress(), address);
    QVERIFY(!rig.helper->statusTimer()->isActive());
    // Settings saved at each call; upkeep started once; the reply's work in its order.
    QCOMPARE(rig.events, QStringList({ "save", "started", "save", "localEvent", "status", "rebind" }));
    // The poll ended with the reply: no second status reply follows.
    QTest::qWait(1500);
    QCOMPARE(status.count(), 1);
}

void TestHelperProcess::apiPortSkipsHeldPorts()
{
    std::vector<std::unique_ptr<QTcpServer>> held;
    for (int p = 10000; p < 10005; ++p) {
        auto server = std::make_unique<QTcpServer>();
        QVERIFY2(holdPort(*server, p), qPrintable(QString::number(p)));
        held.push_back(std::move(server));
    }
    Rig rig;
    QVERIFY(rig.helper->startProxy());
    const int port = rig.helper->apiPort();
    QVERIFY2(port >= 10005, qPrintable(QString::number(port)));
    QCOMPARE(rig.helper->lastArguments().value(0), QStringLiteral("-api_port=%1").arg(port));
    QVERIFY(rig.addresses.url(zq::ep::ServerStatus).startsWith(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
}

void TestHelperProcess::missingHelperFailsToStart()
{
    LogCapture log;
    Rig rig(m_dir.filePath(QStringLiteral("no-such-helper")));
    QSignalSpy messages(rig.helper.get(), &HelperProcess::proxyClientMessage);

    QVERIFY(!rig.helper->startProxy());
    QVERIFY(!rig.helper->isStarted());
    QVERIFY(!rig.helper->statusTimer()->isActive());
    QVERIFY(LogCapture::contains(QStringLiteral(" start proxy failed ----")));
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("Start failed:%1").arg(rig.helper->apiPort()));
    QVERIFY(!rig.events.contains(QStringLiteral("started")));
    // Not a crash of a running helper: nothing is restarted.
    QTest::qWait(500);
    QCOMPARE(rig.helper->process()->state(), QProcess::NotRunning);
}

void TestHelperProcess::notificationsRefreshEachAfterThreeSeconds()
{
    LogCapture log;
    Rig rig;
    QUdpSocket sender;
    QElapsedTimer clock;
    clock.start();
    const QByteArray datagrams[]
        = { R"({"event":"bind","ports":[30001]})", "not json at all", R"({"event":"free","ports":[]})" };
    for (const QByteArray& d : datagrams)
        sender.writeDatagram(d, QHostAddress::LocalHost, rig.notify.localPort());

    QTRY_COMPARE_WITH_TIMEOUT(LogCapture::count(QStringLiteral("recvUdpSocketFromLocalProxy data:")), 3, 2000);
    QVERIFY(LogCapture::contains(QStringLiteral("not json at all")));
    QVERIFY(!rig.events.contains(QStringLiteral("refresh")));
    QTRY_COMPARE_WITH_TIMEOUT(rig.events.count(QStringLiteral("refresh")), 3, 6000);
    QVERIFY2(clock.elapsed() >= 2900, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(300);
    QCOMPARE(rig.events.count(QStringLiteral("refresh")), 3);
}

void TestHelperProcess::pollOutlastsRefusalsThenGivesUp()
{
    // Runs, holds its input, never opens the API port: every status request is refused.
    LogCapture log;
    Rig rig(writeScript(m_dir, QStringLiteral("silent-helper"), "exec cat >/dev/null"));
    rig.helper->setStatusPollLimitMs(3000);
    QSignalSpy status(rig.helper.get(), &HelperProcess::sendServerStatus);
    QSignalSpy messages(rig.helper.get(), &HelperProcess::proxyClientMessage);

    QVERIFY(rig.helper->startProxy());
    QTest::qWait(2200);
    QCOMPARE(status.count(), 0);
    QVERIFY(rig.helper->statusTimer()->isActive());
    QVERIFY(LogCapture::count(QStringLiteral("timeout!")) >= 1);

    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 4000);
    QCOMPARE(status.at(0), QVariantList({ false, QString() }));
    QVERIFY(!rig.helper->statusTimer()->isActive());
    QVERIFY(messages.last().at(0).toString().contains(QStringLiteral("did not answer")));
    // The helper keeps running; giving up on the poll does not stop it.
    QCOMPARE(rig.helper->process()->state(), QProcess::Running);
    QTest::qWait(1200);
    QCOMPARE(status.count(), 1);
}

void TestHelperProcess::failedStatusReplyEndsPoll()
{
    LogCapture log;
    Rig rig(writeScript(m_dir, QStringLiteral("silent-helper2"), "exec cat >/dev/null"));
    QSignalSpy status(rig.helper.get(), &HelperProcess::sendServerStatus);
    QVERIFY(rig.helper->startProxy());
    const QString before = rig.helper->proxyServerAddress();

    rig.helper->dealGetServerStatus(QJsonObject { { "code", 3 }, { "msg", "not ready" }, { "data", "gw.test" } });
    QVERIFY(LogCapture::contains(QStringLiteral("proxy local start fail!")));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0), QVariantList({ false, QString() }));
    QVERIFY(!rig.helper->statusTimer()->isActive());
    QCOMPARE(rig.helper->proxyServerAddress(), before);
    QVERIFY(!rig.events.contains(QStringLiteral("localEvent")));
    QVERIFY(!rig.events.contains(QStringLiteral("rebind")));
}

void TestHelperProcess::killedHelperIsRestartedWithinBudget()
{
    LogCapture log;
    Rig rig;
    rig.helper->setRestartPolicy(1, 300);
    QSignalSpy status(rig.helper.get(), &HelperProcess::sendServerStatus);
    QSignalSpy messages(rig.helper.get(), &HelperProcess::proxyClientMessage);
    QVERIFY(rig.helper->startProxy());
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);

    const qint64 first = rig.pid();
    QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 10000);
    QCOMPARE(status.at(1).at(0).toBool(), true);
    QVERIFY(rig.helper->isStarted());
    const qint64 second = rig.pid();
    QVERIFY(second != first && processExists(second));
    QVERIFY(LogCapture::contains(QStringLiteral("process exit code:")));
    bool told = false;
    for (const QList<QVariant>& m : messages)
        told = told || m.at(0).toString().contains(QStringLiteral("restarting"));
    QVERIFY(told);
    // The port table was kept: no stop hook; the second reply re-bound the today lists.
    QVERIFY(!rig.events.contains(QStringLiteral("stopped")));
    QCOMPARE(rig.events.count(QStringLiteral("started")), 2);
    QCOMPARE(rig.events.count(QStringLiteral("rebind")), 2);

    // The budget of one restart a minute is spent: the next death is only reported.
    messages.clear();
    QCOMPARE(::kill(pid_t(second), SIGKILL), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 3000);
    QVERIFY(messages.last().at(0).toString().contains(QStringLiteral("not restarted")));
    QTest::qWait(800);
    QCOMPARE(rig.helper->process()->state(), QProcess::NotRunning);
    QVERIFY(!rig.helper->isStarted());
    QCOMPARE(rig.events.count(QStringLiteral("started")), 2);
}

void TestHelperProcess::stopProxyNeverRestarts()
{
    LogCapture log;
    Rig rig;
    QSignalSpy status(rig.helper.get(), &HelperProcess::sendServerStatus);
    QVERIFY(rig.helper->startProxy());
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);
    const qint64 pid = rig.pid();

    QElapsedTimer clock;
    clock.start();
    rig.helper->stopProxy();
    // Left on its own once its input closed, well before the kill deadline.
    QVERIFY2(clock.elapsed() < 1900, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.helper->process()->exitStatus(), QProcess::NormalExit);
    QCOMPARE(rig.helper->process()->state(), QProcess::NotRunning);
    QVERIFY(!processExists(pid));
    QVERIFY(!rig.helper->isStarted());
    QVERIFY(!rig.helper->statusTimer()->isActive());
    QCOMPARE(rig.events.count(QStringLiteral("stopped")), 1);
    QVERIFY(LogCapture::contains(QStringLiteral("m_process->state():")));

    QTest::qWait(700); // past the restart delay
    QCOMPARE(rig.helper->process()->state(), QProcess::NotRunning);
    QCOMPARE(rig.events.count(QStringLiteral("started")), 1);
    QCOMPARE(status.count(), 1);

    // Stopping a stopped helper still clears the bindings and stays stopped.
    rig.helper->stopProxy();
    QCOMPARE(rig.events.count(QStringLiteral("stopped")), 2);
    QVERIFY(!rig.helper->isStarted());

    // And it can be started again.
    QVERIFY(rig.helper->startProxy());
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 10000);
}

void TestHelperProcess::destructorLeavesNoHelper()
{
    {
        Rig rig;
        QVERIFY(rig.helper->startProxy());
        const qint64 pid = rig.pid();
        QVERIFY(processExists(pid));
        rig.helper.reset();
        QVERIFY(!processExists(pid));
    }
    {
        // A helper that ignores its closed input is killed.
        Rig rig(writeScript(m_dir, QStringLiteral("stubborn-helper"), "exec sleep 60 </dev/null"));
        QVERIFY(rig.helper->startProxy());
        const qint64 pid = rig.pid();
        QVERIFY(processExists(pid));
        QElapsedTimer clock;
        clock.start();
        rig.helper.reset();
        QVERIFY(!processExists(pid));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }
}

QTEST_GUILESS_MAIN(TestHelperProcess)
#include "test_helperprocess.moc"
