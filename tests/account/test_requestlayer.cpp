#include "payloadcodec.h"
#include "requestlayer.h"
#include "testservers.h"
#include "userinfo.h"

#include <QDateTime>
#include <QHttpMultiPart>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

namespace {

// A reply that exists only for its name, to feed the dispatcher directly.
class NamedReply : public QNetworkReply {
public:
    explicit NamedReply(const QString& name)
    {
        setObjectName(name);
        open(QIODevice::ReadOnly);
    }
    void abort() override { }

protected:
    qint64 readData(char*, qint64) override { return -1; }
};

struct Call {
    Route route;
    QString type;
};

} // namespace

Q_DECLARE_METATYPE(Route)

class TestRequestLayer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void poolHeadersAndForm();
    void routing_data();
    void routing();
    void bodiesThatAreNotDispatched();
    void failureMapping_data();
    void failureMapping();
    void lateReplyAfterTimeoutIsDropped();
    void errorsBecomeInterfaceTimeouts();
    void getVariant();

private:
    // Records every handler call of the layer.
    void recordAll(RequestLayer& layer)
    {
        calls.clear();
        for (int r = int(Route::CheckUpdate); r <= int(Route::IpsPackage); ++r)
            layer.setHandler(Route(r), [this, r](const QJsonObject&, const QString& type) {
                calls.append({ Route(r), type });
            });
    }

    PayloadCodec codec;
    QList<Call> calls;
};

void TestRequestLayer::init()
{
    UserInfo* user = UserInfo::instance();
    user->setSessionId(QStringLiteral("sess-1"));
    user->setUserName(QStringLiteral("demo"));
    user->setUid(1001);
}

void TestRequestLayer::poolHeadersAndForm()
{
    LogCapture log;
    ScriptedServer server;
    server.script("/api/socks/config", R"({"code":0,"ret_data":{}})");
    RequestLayer layer(QStringLiteral("union-x"), &codec);
    QCOMPARE(layer.poolSize(), 100);

    QHttpMultiPart* form = RequestLayer::newForm();
    RequestLayer::addFormPart(form, QStringLiteral("username"), "demo");
    RequestLayer::addFormPart(form, QStringLiteral("password"), "pa ss");
    const QString url = server.base() + QStringLiteral("/api/socks/config");
    QNetworkReply* first = layer.httpRequestByPost(url, form, QStringLiteral("S5"));
    QVERIFY(first);
    QCOMPARE(first->objectName(), url + QStringLiteral("|S5"));
    QCOMPARE(form->parent(), first); // the form goes with its reply
    QCOMPARE(first->manager(), layer.managerAt(0));
    QCOMPARE(layer.poolIndex(), 1);
    QVERIFY(LogCapture::contains(QStringLiteral("current accessManager:  1")));
    QVERIFY(LogCapture::contains(QStringLiteral("username=demo|password=*****|"))); // never the password itself
    QVERIFY(!LogCapture::contains(QStringLiteral("pa ss")));

    for (int i = 1; i < 100; ++i)
        layer.httpRequestByPost(url, RequestLayer::newForm());
    QCOMPARE(layer.poolIndex(), 0);
    QNetworkReply* hundredFirst = layer.httpRequestByPost(url, RequestLayer::newForm());
    QCOMPARE(hundredFirst->manager(), layer.managerAt(0));
    QCOMPARE(layer.poolIndex(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(server.requests.size(), 101, 20000);

    // The ten headers, in their order, with their values. Connections arrive in any order.
    ReceivedRequest request;
    for (const ReceivedRequest& r : server.requests)
        if (r.body.contains("username"))
            request = r;
    QCOMPARE(request.method, QByteArray("POST"));
    const QList<QByteArray> names { "session-id", "platform", "oem", "language", "channel", "union-id", "version",
        "timestamp", "username", "uid" };
    QList<QByteArray> seen;
    for (const auto& header : request.headers)
        if (names.contains(header.first.toLower()))
            seen.append(header.first.toLower());
    QCOMPARE(seen, names);
    QCOMPARE(request.header("session-id"), QByteArray("sess-1"));
    QCOMPARE(request.header("platform"), QByteArray("pc"));
    QCOMPARE(request.header("oem"), QByteArray("zq"));
    QCOMPARE(request.header("language"), QByteArray("en"));
    QCOMPARE(request.header("channel"), QByteArray("normal"));
    QCOMPARE(request.header("union-id"), QByteArray("union-x"));
    QCOMPARE(request.header("version"), QByteArray("2.0.7"));
    QVERIFY(qAbs(request.header("timestamp").toLongLong() - QDateTime::currentSecsSinceEpoch()) < 600);
    QCOMPARE(request.header("username"), QByteArray("demo"));
    QCOMPARE(request.header("uid"), QByteArray("1001"));
    QVERIFY(request.header("Content-Type").startsWith("multipart/form-data"));

    // Each part carries its Content-Disposition and nothing else.
    const QByteArray body = request.body;
    QVERIFY(body.contains("\r\nContent-Disposition: form-data; name=\"username\"\r\n\r\ndemo\r\n"));
    QVERIFY(body.contains("\r\nContent-Disposition: form-data; name=\"password\"\r\n\r\npa ss\r\n"));
    QCOMPARE(body.count("Content-Type"), 0);
}

void TestRequestLayer::routing_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("route"); // -1: no handler
    QTest::addColumn<QString>("type");
    const QString h = QStringLiteral("http://127.0.0.1:1");
    QTest::newRow("update") << h + "/api/client/socks_qt_check_update|" << int(Route::CheckUpdate) << "";
    QTest::newRow("login") << h + "/api/socks/login|" << int(Route::Login) << "";
    QTest::newRow("logout") << h + "/api/socks/logout|" << int(Route::Logout) << "";
    QTest::newRow("userflow") << h + "/api/userflow|" << int(Route::UserFlow) << "";
    QTest::newRow("resident lines") << h + "/api/get_line_list|ResidentTraffic" << int(Route::ResiLineList) << "";
    QTest::newRow("S5 lines") << h + "/api/get_line_list|S5" << int(Route::LineList) << "";
    QTest::newRow("lines no type") << h + "/api/get_line_list|" << int(Route::LineList) << "";
    QTest::newRow("unlimited lines") << h + "/unlimit/get_unlimit_list|unlimit" << int(Route::UnlimitLineList) << "";
    QTest::newRow("free one, typed") << h + "/api/del_port_session|ResidentTraffic" << int(Route::DelPortSession)
                                     << "ResidentTraffic";
    QTest::newRow("today, typed") << h + "/api/todayList/getInfo|S5" << int(Route::TodayList) << "S5";
    QTest::newRow("favourites, typed") << h + "/api/todayList/getFavouriteInfo|ResidentTraffic"
                                       << int(Route::FavouriteInfo) << "ResidentTraffic";
    QTest::newRow("dislike, untyped") << h + "/api/favouriteList/dislike|S5" << int(Route::FavouriteDislike) << "";
    QTest::newRow("helper today (GET name)") << h + "/ip/get_todaylist" << int(Route::HelperTodayList) << "";
    QTest::newRow("check ip") << h + "/api/check/ip|" << int(Route::CheckIp) << "";
    QTest::newRow("check proxy") << h + "/api/checkProxy|" << int(Route::CheckProxy) << "";
    QTest::newRow("prices") << h + "/api/get_ips_package|" << int(Route::IpsPackage) << "";
    QTest::newRow("unknown") << h + "/api/unknown|" << -1 << "";
}

void TestRequestLayer::routing()
{
    QFETCH(QString, name);
    QFETCH(int, route);
    QFETCH(QString, type);
    LogCapture log;
    RequestLayer layer(QString(), &codec);
    recordAll(layer);
    NamedReply reply(name);
    layer.dealReplyData(&reply, R"({"code":0})");
    if (route < 0) {
        QVERIFY(calls.isEmpty());
        QVERIFY(LogCapture::contains(QStringLiteral("接口无效")));
        return;
    }
    QCOMPARE(calls.size(), 1);
    QCOMPARE(int(calls[0].route), route);
    QCOMPARE(calls[0].type, type);
}

void TestRequestLayer::bodiesThatAreNotDispatched()
{
    LogCapture log;
    RequestLayer layer(QString(), &codec);
    recordAll(layer);
    const QString login = QStringLiteral("http://h/api/socks/login|");
    const QString bind = QStringLiteral("http://h/api/set_port_session|S5");

    NamedReply loginReply(login);
    layer.dealReplyData(&loginReply, "<html>busy</html>");
    QVERIFY(LogCapture::contains(QStringLiteral("error=")));
    LogCapture::clear();
    layer.dealReplyData(&loginReply, "{}");
    layer.dealReplyData(&loginReply, "[]");
    QVERIFY(!LogCapture::contains(QStringLiteral("error=")));
    QVERIFY(calls.isEmpty());

    // The binding reply is codec text as a whole: plain JSON or scrambled garbage is dropped.
    NamedReply bindReply(bind);
    layer.dealReplyData(&bindReply, R"({"bind_status":"success"})");
    layer.dealReplyData(&bindReply, codec.encode("not json").toUtf8());
    QVERIFY(calls.isEmpty());
    QCOMPARE(LogCapture::count(QStringLiteral("error=")), 2);

    layer.dealReplyData(&bindReply, codec.encode(R"({"bind_status":"success"})").toUtf8());
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].route, Route::SetPortSession);
    QCOMPARE(calls[0].type, QStringLiteral("S5"));
}

void TestRequestLayer::failureMapping_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("type"); // empty: no signal
    QTest::newRow("update") << "/api/client/socks_qt_check_update"
                            << "updateApi";
    QTest::newRow("config") << "/api/socks/config"
                            << "configApi";
    QTest::newRow("check ip") << "/api/check/ip"
                              << "checkIpApi";
    QTest::newRow("login") << "/api/socks/login"
                           << "loginApi";
    QTest::newRow("logout") << "/api/socks/logout"
                            << "logoutApi";
    QTest::newRow("ip count") << "/api/socks/get_ip"
                              << "getUserIpNumsApi";
    QTest::newRow("expiry") << "/api/limitInfo"
                            << "getUserExpTimeApi";
    QTest::newRow("bind") << "/api/set_port_session"
                          << "setPortSessionApi";
    QTest::newRow("free all") << "/api/freed_proxy_port"
                              << "freeAllPortApi";
    QTest::newRow("free one") << "/api/del_port_session"
                              << "freeOnePortApi";
    QTest::newRow("resident lines") << "/api/get_line_list|ResidentTraffic"
                                    << "lineApi";
    QTest::newRow("unlimited lines") << "/unlimit/get_unlimit_list"
                                     << "";
    QTest::newRow("areas") << "/api/get_area_list"
                           << "areaApi";
    QTest::newRow("server status") << "/api/get_server_status"
                                   << "";
    QTest::newRow("prices") << "/api/get_ips_package"
                            << "priceApi";
    QTest::newRow("traffic") << "/api/userflow"
                             << "getUserResiTrafficBalanceApi";
    QTest::newRow("favourites") << "/api/todayList/getFavouriteInfo"
                                << "getFavouriteApi";
    QTest::newRow("today") << "/api/todayList/getInfo"
                           << "getTodayListApi";
    QTest::newRow("proxy check") << "/api/checkProxy"
                                 << "";
    QTest::newRow("helper today") << "/ip/get_todaylist"
                                  << "";
}

void TestRequestLayer::failureMapping()
{
    QFETCH(QString, path);
    QFETCH(QString, type);
    LogCapture log;
    RequestLayer layer(QString(), &codec);
    QStringList events;
    connect(&layer, &RequestLayer::interfaceTimeout, this, [&events](const QString& t) { events << t; });
    layer.setFailureHook(Route::SetPortSession, [&events]() { events << QStringLiteral("drop unbound lines"); });
    layer.setFailureHook(Route::ServerStatus, [&events]() { events << QStringLiteral("stop status poll"); });

    layer.dealReplyTimeOut(QStringLiteral("http://127.0.0.1:1") + path);
    QVERIFY(LogCapture::contains(QStringLiteral(" timeout!")));
    QStringList expected;
    if (!type.isEmpty())
        expected << type;
    if (path == QLatin1String("/api/set_port_session"))
        expected << QStringLiteral("drop unbound lines"); // after the signal
    if (path == QLatin1String("/api/get_server_status"))
        expected << QStringLiteral("stop status poll");
    QCOMPARE(events, expected);
    const bool unmapped = path == QLatin1String("/api/checkProxy") || path == QLatin1String("/ip/get_todaylist");
    QCOMPARE(LogCapture::contains(QStringLiteral("dealReplyTimeOut 接口无效:")), unmapped);
}

void TestRequestLayer::lateReplyAfterTimeoutIsDropped()
{
    ScriptedServer server;
    server.script("/api/socks/login", ScriptedReply { 200, {}, true });
    RequestLayer layer(QString(), &codec);
    layer.setWatchdogDurations(150, 100);
    recordAll(layer);
    QSignalSpy timeouts(&layer, &RequestLayer::interfaceTimeout);

    QPointer<QNetworkReply> reply
        = layer.httpRequestByPost(server.base() + QStringLiteral("/api/socks/login"), RequestLayer::newForm());
    QTRY_COMPARE(timeouts.count(), 1);
    QCOMPARE(timeouts.at(0).at(0).toString(), QStringLiteral("loginApi"));
    QTRY_VERIFY(reply.isNull()); // deleted after the timeout

    // The service answers after all; nobody is listening any more.
    QCOMPARE(server.held.size(), 1);
    if (server.held.first())
        ScriptedServer::answer(server.held.first(), ScriptedReply { 200, R"({"code":0,"ret_data":{}})" });
    QTest::qWait(200);
    QVERIFY(calls.isEmpty());
    QCOMPARE(timeouts.count(), 1); // the watchdog fires once
}

void TestRequestLayer::errorsBecomeInterfaceTimeouts()
{
    LogCapture log;
    ScriptedServer server;
    server.script("/api/limitInfo", ScriptedReply { 500, R"({"code":0,"ret_data":{"expire_time":5}})" });
    server.script("/api/userflow", "not json at all");
    server.script("/api/socks/get_ip", "{}");
    RequestLayer layer(QString(), &codec);
    recordAll(layer);
    QSignalSpy timeouts(&layer, &RequestLayer::interfaceTimeout);

    layer.httpRequestByPost(server.base() + QStringLiteral("/api/limitInfo"), RequestLayer::newForm());
    QTRY_COMPARE(timeouts.count(), 1);
    QCOMPARE(timeouts.at(0).at(0).toString(), QStringLiteral("getUserExpTimeApi"));
    QVERIFY(LogCapture::contains(QStringLiteral("<reply error:InternalServerError><code:500>")));

    // Nothing listens on a port just released.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    layer.httpRequestByPost(
        QStringLiteral("http://127.0.0.1:%1/api/get_ips_package").arg(port), RequestLayer::newForm());
    QTRY_COMPARE(timeouts.count(), 2);
    QCOMPARE(timeouts.at(1).at(0).toString(), QStringLiteral("priceApi"));

    // Bodies that arrive fine but are not a useful object: no handler, no signal.
    QNetworkReply* broken
        = layer.httpRequestByPost(server.base() + QStringLiteral("/api/userflow"), RequestLayer::newForm());
    QNetworkReply* empty
        = layer.httpRequestByPost(server.base() + QStringLiteral("/api/socks/get_ip"), RequestLayer::newForm());
    QSignalSpy brokenDone(broken, &QObject::destroyed), emptyDone(empty, &QObject::destroyed);
    QTRY_VERIFY(brokenDone.count() == 1 && emptyDone.count() == 1);
    QVERIFY(LogCapture::contains(QStringLiteral("error=")));
    QVERIFY(calls.isEmpty());
    QCOMPARE(timeouts.count(), 2);
}

void TestRequestLayer::getVariant()
{
    ScriptedServer server;
    server.script("/ip/get_todaylist", R"({"code":0,"data":[]})");
    server.script("/slow", ScriptedReply { 200, {}, true });
    RequestLayer layer(QString(), &codec);
    layer.setWatchdogDurations(10000, 150);
    recordAll(layer);
    QSignalSpy timeouts(&layer, &RequestLayer::interfaceTimeout);

    QUrlQuery query;
    query.addQueryItem(QStringLiteral("t"), QStringLiteral("json"));
    const QString url = server.base() + QStringLiteral("/ip/get_todaylist");
    QNetworkReply* reply = layer.httpRequestByGet(url, query);
    QCOMPARE(reply->objectName(), url);
    QCOMPARE(reply->manager(), layer.downloadManager());
    QTRY_COMPARE(calls.size(), 1);
    QCOMPARE(calls[0].route, Route::HelperTodayList);
    QCOMPARE(server.requests.first().method, QByteArray("GET"));
    QCOMPARE(server.requests.first().path, QByteArray("/ip/get_todaylist?t=json"));

    // A silent GET is dropped after its watchdog without any interface signal.
    QPointer<QNetworkReply> slow = layer.httpRequestByGet(server.base() + QStringLiteral("/slow"), {});
    QTRY_VERIFY(slow.isNull());
    QCOMPARE(timeouts.count(), 0);
    QCOMPARE(calls.size(), 1);
}

QTEST_MAIN(TestRequestLayer)
#include "test_requestlayer.moc"
