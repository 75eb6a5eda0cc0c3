#include "account.h"
#include "controller.h"
#include "helperprocess.h"
#include "requestlayer.h"
#include "testservers.h"
#include "updateinfo.h"
#include "userinfo.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <memory>

class TestAccount : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void loginBalancesPricesLogout();
    void refusedLoginWhileLoggedInLogsOutFirst();
    void logoutAnswers_data();
    void logoutAnswers();
    void updateOfferedAndDownloaded();
    void updateReplies_data();
    void updateReplies();
    void failedDownloadsLeaveNothing();
    void priceTexts_data();
    void priceTexts();
    void balanceReplies();
    void failuresReachTheWindow();
    void failedStatusPollStopsItsTimer();

private:
    // A Controller whose account base is `base`, with data folders of its own.
    std::unique_ptr<Controller> makeController(const QString& base)
    {
        qputenv("ZQ_ACCOUNT_BASE", base.toUtf8());
        auto c = std::make_unique<Controller>(m_docs.path(), m_install.path());
        qunsetenv("ZQ_ACCOUNT_BASE");
        return c;
    }
    // Loads a JSON object literal.
    static QJsonObject obj(const char* json) { return QJsonDocument::fromJson(json).object(); }

    ServiceProcess m_service;
    QTemporaryDir m_docs, m_install;
};

void TestAccount::initTestCase()
{
    QVERIFY2(m_service.start(), "zq-service could not be started from " ZQ_BIN_DIR);
}

void TestAccount::loginBalancesPricesLogout()
{
    LogCapture log;
    auto c = makeController(m_service.base());
    RequestLayer* requests = c->requests();
    QSignalSpy login(c.get(), &Controller::loginStatus);
    QSignalSpy timeouts(c.get(), &Controller::interfaceTimeout);

    // Nothing is sent without both fields.
    c->login(QString(), QStringLiteral("demo123"));
    c->login(QStringLiteral("demo"), QString());
    QCOMPARE(requests->poolIndex(), 0);

    c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QTRY_COMPARE(login.count(), 1);
    QCOMPARE(login.at(0), QVariantList({ true, QString() }));
    QVERIFY(c->getIsLogin());
    const UserInfo* user = UserInfo::instance();
    QCOMPARE(user->getUserName(), QStringLiteral("demo"));
    QCOMPARE(user->getUid(), 1001);
    QCOMPARE(user->getPassword(), QStringLiteral("demo123"));
    QVERIFY(!user->getPwd().isEmpty() && user->getPwd() != user->getPassword()); // codec text as received
    QVERIFY(!user->getSessionId().isEmpty());
    QCOMPARE(user->getIpNums(), 7);
    QCOMPARE(user->getExpireUTC(), 4102444800u); // beyond 2^31
    QCOMPARE(user->getServer(), QStringLiteral("s1"));
    QVERIFY(LogCapture::contains(QStringLiteral("user change!")));
    // A new account's saved lists are read in start-up order.
    QVERIFY(LogCapture::contains(QStringLiteral("readTodayListInfo:")));
    QVERIFY(LogCapture::contains(QStringLiteral("readFavouriteResidentTrafficListInfo:")));

    // The settings file holds the clear password, never the codec text.
    QFile settings(c->paths().configFile());
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QJsonObject saved = QJsonDocument::fromJson(settings.readAll()).object();
    QCOMPARE(saved.value("username").toString(), QStringLiteral("demo"));
    QCOMPARE(saved.value("password").toString(), QStringLiteral("demo123"));
    QCOMPARE(saved.value("uid").toInt(), 1001);

    QSignalSpy ipNums(c.get(), &Controller::getUserIpNumsStatus);
    QSignalSpy expiry(c.get(), &Controller::getUserExpTimeStatus);
    QSignalSpy traffic(c.get(), &Controller::getUserResiTrafficInfoStatus);
    QSignalSpy prices(c.get(), &Controller::priceInfo);
    QSignalSpy checkIp(c.get(), &Controller::checkIpStatus);
    QSignalSpy checkProxy(c.get(), &Controller::checkProxyStatus);
    UserInfo::instance()->setIpNums(0);
    c->getUserIpNumber();
    c->getUserExpTime();
    c->getUserResiTraffic();
    c->getPriceInfo();
    c->checkIp();
    c->checkPorxy();
    c->getConfig();
    QTRY_VERIFY(
        ipNums.count() && expiry.count() && traffic.count() && prices.count() && checkIp.count() && checkProxy.count());
    QTRY_VERIFY(LogCapture::contains(QStringLiteral("dealConfigInfo")));

    QCOMPARE(ipNums.at(0), QVariantList({ true, QString() }));
    QCOMPARE(user->getIpNums(), 7);
    QCOMPARE(expiry.at(0), QVariantList({ true, QString() }));
    QCOMPARE(traffic.at(0), QVariantList({ true, QString() }));
    QCOMPARE(user->getResiTraffic_reamin(), -1500.0); // an overdrawn balance stays negative
    QCOMPARE(user->getResiTraffic_all(), 5000000.0);
    QCOMPARE(user->getResiTraffic_expireUTC(),
        QDateTime::fromSecsSinceEpoch(4102444800).toLocalTime().toString(QStringLiteral("yyyy-MM-dd")));
    QCOMPARE(prices.at(0).at(0).toBool(), true);
    QCOMPARE(prices.at(0).at(1).value<QList<QString>>(), QList<QString>({ "10", "3", "0" }));
    QCOMPARE(prices.at(0).at(2).value<QList<QString>>(), QList<QString>({ "25", "19.99", "5" }));
    QCOMPARE(prices.at(0).at(3).value<QList<QString>>(), QList<QString>({ "30", "24", "5" }));
    QCOMPARE(prices.at(0).at(4).value<QList<QString>>(), QList<QString>({ "2.500", "6.663", "-" }));
    QCOMPARE(checkIp.at(0), QVariantList({ true, QStringLiteral("127.0.0.1"), QStringLiteral("success"), 0 }));
    QCOMPARE(checkProxy.at(0), QVariantList({ true }));

    // Same account again: no list swap.
    c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QTRY_COMPARE(login.count(), 2);
    QVERIFY(LogCapture::contains(QStringLiteral("user not change!")));
    QCOMPARE(LogCapture::count(QStringLiteral("readTodayListInfo:")), 1);

    QSignalSpy logout(c.get(), &Controller::loginOutStatus);
    c->loginOut();
    QTRY_COMPARE(logout.count(), 1);
    QCOMPARE(logout.at(0), QVariantList({ true, QString() }));
    QVERIFY(!c->getIsLogin());
    // The service really ended the session.
    c->getUserIpNumber();
    QTRY_COMPARE(ipNums.count(), 2);
    QCOMPARE(ipNums.at(1).at(0).toBool(), false);
    QCOMPARE(timeouts.count(), 0);
}

void TestAccount::refusedLoginWhileLoggedInLogsOutFirst()
{
    auto c = makeController(m_service.base());
    RequestLayer* requests = c->requests();
    QSignalSpy login(c.get(), &Controller::loginStatus);
    QSignalSpy logout(c.get(), &Controller::loginOutStatus);
    c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QTRY_COMPARE(login.count(), 1);
    QVERIFY(c->getIsLogin());

    // When the refusal is announced the logout must already be on its way.
    int postedAtRefusal = -1;
    connect(c.get(), &Controller::loginStatus, this,
        [&](bool status) { postedAtRefusal = status ? -1 : requests->poolIndex(); });
    const int before = requests->poolIndex();
    c->login(QStringLiteral("demo"), QStringLiteral("wrong"));
    QTRY_COMPARE(login.count(), 2);
    QCOMPARE(login.at(1).at(0).toBool(), false);
    QVERIFY(!login.at(1).at(1).toString().isEmpty()); // the service's message, unchanged
    QCOMPARE(postedAtRefusal, before + 2);
    QVERIFY(!c->getIsLogin());
    QTRY_COMPARE(logout.count(), 1);
    QCOMPARE(logout.at(0).at(0).toBool(), true);

    // Refused while logged out: no logout.
    const int again = requests->poolIndex();
    c->login(QStringLiteral("demo"), QStringLiteral("wrong"));
    QTRY_COMPARE(login.count(), 3);
    QCOMPARE(postedAtRefusal, again + 1);
}

void TestAccount::logoutAnswers_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("status");
    QTest::newRow("1 is success") << QByteArray(R"({"code":1,"msg":"ok"})") << true;
    QTest::newRow("0 is a failure") << QByteArray(R"({"code":0,"msg":"ok"})") << false;
    QTest::newRow("no code is a failure") << QByteArray(R"({"msg":"ok"})") << false;
}

void TestAccount::logoutAnswers()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, status);
    ScriptedServer server;
    server.script("/api/socks/logout", reply);
    auto c = makeController(server.base());
    c->setIsLogin(!status);
    QSignalSpy logout(c.get(), &Controller::loginOutStatus);
    c->loginOut();
    QTRY_COMPARE(logout.count(), 1);
    QCOMPARE(logout.at(0), QVariantList({ status, QString() }));
    QCOMPARE(c->getIsLogin(), !status); // a refused logout leaves the account logged in
}

void TestAccount::updateOfferedAndDownloaded()
{
    auto c = makeController(m_service.base());
    QSignalSpy update(c.get(), &Controller::updateStatus);
    c->checkUpdate();
    QTRY_COMPARE(update.count(), 1);
    QCOMPARE(update.at(0), QVariantList({ true, QString() }));
    const UpdateInfo* info = UpdateInfo::instance();
    QVERIFY(info->getIsNeedUpdate());
    QVERIFY(info->getForceUpate());
    QCOMPARE(info->getVersion(), QStringLiteral("208"));
    QCOMPARE(info->getShowVersion(), QStringLiteral("2.0.8"));
    QCOMPARE(info->getDesc(), QStringLiteral("fixes"));
    QVERIFY(info->getDownUrl().endsWith(QStringLiteral("/download/Velmora-2.0.8.exe")));

    // An older installer in the way is replaced.
    const QString path = c->paths().configDir + QLatin1Char('/') + c->getUpdateFileName();
    QCOMPARE(c->getUpdateFileName(), QStringLiteral("ZQ_S5_Proxy_temp.exe"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old installer");
    old.close();

    QSignalSpy progress(c.get(), &Controller::sendDownloadUpdatePraProgress);
    QSignalSpy success(c.get(), &Controller::sendDownloadFileSuccess);
    QSignalSpy failed(c.get(), &Controller::sendDownloadFileFailed);
    c->downloadUpdateFile(info->getDownUrl());
    QTRY_COMPARE(success.count(), 1);
    QCOMPARE(failed.count(), 0);
    const QByteArray expected = m_service.installer();
    QVERIFY(progress.count() >= 1);
    QCOMPARE(progress.last(), QVariantList({ expected.size(), expected.size() }));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    QCOMPARE(QDir(c->paths().configDir).entryList({ QStringLiteral("ZQ_S5_Proxy_temp*") }, QDir::Files).size(), 1);
}

void TestAccount::updateReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("force");
    QTest::newRow("force as JSON true") << QByteArray(R"({"code":1,"ret_data":{"force_update":true}})") << true << true;
    QTest::newRow("force as text") << QByteArray(R"({"code":1,"ret_data":{"force_update":"true"}})") << true << true;
    QTest::newRow("not forced, text") << QByteArray(R"({"code":1,"ret_data":{"force_update":"false"}})") << true
                                      << false;
    QTest::newRow("not forced, JSON") << QByteArray(R"({"code":1,"ret_data":{"force_update":false}})") << true << false;
    QTest::newRow("code 0: no update") << QByteArray(R"({"code":0,"msg":"No update program at present"})") << false
                                       << false;
}

void TestAccount::updateReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, offered);
    QFETCH(bool, force);
    ScriptedServer server;
    server.script("/api/client/socks_qt_check_update", reply);
    auto c = makeController(server.base());
    UpdateInfo::instance()->setForceUpdate(false);
    QSignalSpy update(c.get(), &Controller::updateStatus);
    c->checkUpdate();
    QTRY_COMPARE(update.count(), 1);
    QCOMPARE(update.at(0), QVariantList({ offered, QString() }));
    QCOMPARE(UpdateInfo::instance()->getIsNeedUpdate(), offered);
    QCOMPARE(UpdateInfo::instance()->getForceUpate(), force);
    const QByteArray body = server.requests.first().body;
    QVERIFY(body.contains("name=\"version\"\r\n\r\n207\r\n"));
    QVERIFY(body.contains("name=\"type\"\r\n\r\ninstall\r\n"));
}

void TestAccount::failedDownloadsLeaveNothing()
{
    ScriptedServer server;
    // Announces 4000 bytes, sends 1000 and hangs up.
    server.script("/cut", ScriptedReply { 200, QByteArray(1000, 'x'), false, 4000 });
    auto c = makeController(server.base());
    const QString configDir = c->paths().configDir;
    const QString path = configDir + QStringLiteral("/ZQ_S5_Proxy_temp.exe");
    QSignalSpy success(c.get(), &Controller::sendDownloadFileSuccess);
    QSignalSpy failed(c.get(), &Controller::sendDownloadFileFailed);
    auto leftovers = [&]() { return QDir(configDir).entryList({ QStringLiteral("ZQ_S5_Proxy_temp*") }, QDir::Files); };

    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old installer");
    old.close();
    c->downloadUpdateFile(server.base() + QStringLiteral("/cut"));
    QTRY_COMPARE(failed.count(), 1);
    QCOMPARE(leftovers(), QStringList());

    c->downloadUpdateFile(m_service.base() + QStringLiteral("/download/no-such-file.exe"));
    QTRY_COMPARE(failed.count(), 2);
    QCOMPARE(leftovers(), QStringList());

    c->downloadUpdateFile(QString());
    QCOMPARE(failed.count(), 3);
    QCOMPARE(leftovers(), QStringList());
    QTest::qWait(50);
    QCOMPARE(success.count(), 0);
}

void TestAccount::priceTexts_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("status");
    QTest::addColumn<QStringList>("texts"); // num, current, before, unit of each package
    QTest::newRow("whole numbers") << QByteArray(
        R"({"code":1,"data":[{"num":10,"limit_sale_price":"25","money":"30"}]})")
                                   << true << QStringList { "10", "25", "30", "2.500" };
    QTest::newRow("rounded unit price") << QByteArray(
        R"({"code":1,"data":[{"num":3,"limit_sale_price":"19.99","money":"24.5"}]})")
                                        << true << QStringList { "3", "19.99", "24.5", "6.663" };
    QTest::newRow("no IPs: no unit price")
        << QByteArray(R"({"code":1,"data":[{"num":0,"limit_sale_price":"5","money":"5"}]})") << true
        << QStringList { "0", "5", "5", "-" };
    QTest::newRow("prices as numbers") << QByteArray(
        R"({"code":1,"data":[{"num":4,"limit_sale_price":10,"money":12.5}]})")
                                       << true << QStringList { "4", "10", "12.5", "2.500" };
    QTest::newRow("six significant digits")
        << QByteArray(R"({"code":1,"data":[{"num":7,"limit_sale_price":"1234.5678","money":"0.1"}]})") << true
        << QStringList { "7", "1234.57", "0.1", "176.367" };
    QTest::newRow("empty list") << QByteArray(R"({"code":1,"data":[]})") << true << QStringList {};
    QTest::newRow("code 0") << QByteArray(R"({"code":0,"data":[{"num":1,"limit_sale_price":"1"}]})") << false
                            << QStringList {};
}

void TestAccount::priceTexts()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, status);
    QFETCH(QStringList, texts);
    auto c = makeController(m_service.base());
    QSignalSpy prices(c.get(), &Controller::priceInfo);
    c->account()->dealPriceInfo(obj(reply.constData()));
    QCOMPARE(prices.count(), 1);
    QCOMPARE(prices.at(0).at(0).toBool(), status);
    for (int list = 0; list < 4; ++list) {
        QStringList expected;
        for (int i = list; i < texts.size(); i += 4)
            expected << texts[i];
        QCOMPARE(QStringList(prices.at(0).at(list + 1).value<QList<QString>>()), expected);
    }
}

void TestAccount::balanceReplies()
{
    auto c = makeController(m_service.base());
    Account* account = c->account();
    UserInfo* user = UserInfo::instance();
    QSignalSpy ipNums(c.get(), &Controller::getUserIpNumsStatus);
    QSignalSpy expiry(c.get(), &Controller::getUserExpTimeStatus);
    QSignalSpy traffic(c.get(), &Controller::getUserResiTrafficInfoStatus);

    user->setIpNums(5);
    account->dealUserIpNumInfo(obj(R"({"code":1,"ret_data":{"ip_num":9}})"));
    QCOMPARE(ipNums.takeFirst(), QVariantList({ false, QString() }));
    QCOMPARE(user->getIpNums(), 5);

    account->dealUserExpTime(obj(R"({"code":0,"ret_data":{"expire_time":0,"uid":3,"server":"x"}})"));
    QCOMPARE(expiry.takeFirst(), QVariantList({ false, QStringLiteral("Please recharge") }));
    QCOMPARE(user->getExpireUTC(), 0u);
    account->dealUserExpTime(obj(R"({"code":2,"ret_data":{"expire_time":99}})"));
    QCOMPARE(expiry.takeFirst(), QVariantList({ false, QString() }));
    QCOMPARE(user->getExpireUTC(), 0u);

    user->setResiTrafficRemain(10);
    user->setResiTrafficAll(20);
    account->dealUserResiTrafficInfo(obj(R"({"code":0,"data":{"balance":5,"all_buy":6}})"));
    QCOMPARE(traffic.takeFirst(), QVariantList({ false, QString() }));
    QCOMPARE(user->getResiTraffic_reamin(), 0.0);
    QCOMPARE(user->getResiTraffic_all(), 0.0);
}

void TestAccount::failuresReachTheWindow()
{
    LogCapture log;
    ScriptedServer server;
    server.script("/api/socks/login", ScriptedReply { 200, {}, true });
    server.script("/api/check/ip", ScriptedReply { 502, R"({"code":0})" });
    server.script("/api/checkProxy", ScriptedReply { 500, R"({"code":1})" });
    server.script("/api/get_ips_package", "garbage");
    auto c = makeController(server.base());
    c->requests()->setWatchdogDurations(150, 100);
    QSignalSpy timeouts(c.get(), &Controller::interfaceTimeout);
    QSignalSpy login(c.get(), &Controller::loginStatus);
    QSignalSpy checkIp(c.get(), &Controller::checkIpStatus);
    QSignalSpy checkProxy(c.get(), &Controller::checkProxyStatus);
    QSignalSpy prices(c.get(), &Controller::priceInfo);

    c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    c->checkIp();
    c->checkPorxy();
    c->getPriceInfo();
    QTRY_COMPARE(timeouts.count(), 2);
    QStringList types { timeouts.at(0).at(0).toString(), timeouts.at(1).at(0).toString() };
    types.sort();
    QCOMPARE(types, QStringList({ "checkIpApi", "loginApi" }));
    QTRY_VERIFY(LogCapture::contains(QStringLiteral("/api/checkProxy| code: 500")));
    QTRY_VERIFY(LogCapture::contains(QStringLiteral("/api/get_ips_package| code: 200")));
    QCOMPARE(timeouts.count(), 2); // the proxy check and a broken price body have no timeout type
    QCOMPARE(login.count(), 0);
    QCOMPARE(checkIp.count(), 0);
    QCOMPARE(checkProxy.count(), 0);
    QCOMPARE(prices.count(), 0);
}

void TestAccount::failedStatusPollStopsItsTimer()
{
    // With no helper running, a failed status request ends the poll and says so.
    auto c = makeController(m_service.base());
    QTimer* poll = c->helper()->statusTimer();
    poll->start(60000);
    QSignalSpy status(c.get(), &Controller::sendServerStatus);
    c->requests()->dealReplyTimeOut(QStringLiteral("http://127.0.0.1:1/api/get_server_status|"));
    QVERIFY(!poll->isActive());
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.first().at(0).toBool(), false);
}

QTEST_MAIN(TestAccount)
#include "test_account.moc"
