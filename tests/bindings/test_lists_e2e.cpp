// The user's bindings over time, against the real zq-service, clientProxy and curl with both
// clocks moved: surviving a restart, ageing past six hours and a day, drift behind the client's
// back, and the bulk-binding link.
#include "clock.h"
#include "controller.h"
#include "helperprocess.h"
#include "payloadcodec.h"
#include "peerfixture.h"
#include "portinfo.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "userinfo.h"

#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QUrlQuery>

namespace {

ProxyServerInfo* rec(QObject* o)
{
    return qobject_cast<ProxyServerInfo*>(o);
}

} // namespace

class TestListsE2E : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void bindingsSurviveARestart();
    void ageingPastSixHoursAndADay();
    void reconciliationFollowsTheHelper();
    void apiLinkWithABlankBindsLines();

private:
    // A logged-in client with its helper serving; the range is fixed per test run.
    Controller* startClient();
    ProxyServerInfo* bindNew(Controller* c, bool residential);
    bool moveServiceClock(qint64 offset);
    QJsonObject postForm(const QString& url, const QList<QPair<QString, QString>>& fields);

    peers::Service m_service;
    QTemporaryDir m_docs, m_app, m_state;
    int m_start = 0;
    QNetworkAccessManager m_nam;
};

void TestListsE2E::initTestCase()
{
    QVERIFY(m_service.start(m_state.filePath("state.json")));
    m_start = peers::freeRange(10);
    QVERIFY(m_start > 0);
}

void TestListsE2E::cleanup()
{
    zq::clock::setOffset(0);
    moveServiceClock(0);
}

Controller* TestListsE2E::startClient()
{
    auto* c = new Controller(m_docs.path(), m_app.path());
    c->init();
    if (c->getStartPort() != m_start) {
        c->portTable()->setStartPort(m_start);
        c->setPortNum(10);
        c->createPortInfoList();
    }
    c->helper()->setProgram(QStringLiteral(ZQ_BIN_DIR "/clientProxy"));
    QSignalSpy login(c, &Controller::loginStatus);
    c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    if (!QTest::qWaitFor([&login]() { return !login.isEmpty(); }, 10000) || !login.first().at(0).toBool())
        return c;
    QSignalSpy ips(c, &Controller::getUserIpNumsStatus);
    c->getUserIpNumber();
    (void)QTest::qWaitFor([&ips]() { return !ips.isEmpty(); }, 10000);
    QSignalSpy status(c, &Controller::sendServerStatus);
    if (c->startProxy())
        (void)QTest::qWaitFor([&status]() { return !status.isEmpty(); }, 15000);
    return c;
}

ProxyServerInfo* TestListsE2E::bindNew(Controller* c, bool residential)
{
    QSignalSpy lines(c, residential ? &Controller::getResiTrafficListStatus : &Controller::getLineListStatus);
    if (residential)
        c->getResiTrafficLineList("", "", "", "", "", "", "", 5);
    else
        c->getLineListV2("", "", "", "", "", "", "", 5);
    if (!QTest::qWaitFor([&lines]() { return !lines.isEmpty(); }, 10000))
        return nullptr;
    const QList<QObject*> list = residential ? c->getProxyServerResiTrafficInfo() : c->getProxyServerInfo();
    if (list.isEmpty())
        return nullptr;
    ProxyServerInfo* line = rec(list.first());
    QSignalSpy status(c, &Controller::setPortSessionStatus);
    if (residential)
        c->setPortSessionResiTraffic(line->getSessionId(), line->getIp(), 0, line->getProxyIp(), line->getSn(),
            line->getCountry(), line->getRegion(), true, line->getPlanTypeKey());
    else
        c->setPortSession(line->getSessionId(), line->getIp(), 0, line->getProxyIp(), line->getSn(), 0,
            line->getCountry(), line->getRegion(), true, true);
    if (!QTest::qWaitFor([&status]() { return !status.isEmpty(); }, 15000) || !status.first().at(0).toBool())
        return nullptr;
    return line;
}

QJsonObject TestListsE2E::postForm(const QString& url, const QList<QPair<QString, QString>>& fields)
{
    auto* body = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const auto& f : fields) {
        QHttpPart part;
        part.setRawHeader("Content-Disposition", "form-data; name=\"" + f.first.toUtf8() + '"');
        part.setBody(f.second.toUtf8());
        body->append(part);
    }
    QNetworkReply* reply = m_nam.post(QNetworkRequest(QUrl(url)), body);
    body->setParent(reply);
    (void)QTest::qWaitFor([reply]() { return reply->isFinished(); }, 10000);
    reply->deleteLater();
    QByteArray text = reply->readAll();
    if (url.endsWith("/api/set_port_session"))
        text = PayloadCodec().decode(QString::fromUtf8(text));
    return QJsonDocument::fromJson(text).object();
}

bool TestListsE2E::moveServiceClock(qint64 offset)
{
    return postForm(m_service.base() + "/api/test/clock", { { "offset", QString::number(offset) } })
               .value("code")
               .toInt(-1)
        == 0;
}

void TestListsE2E::bindingsSurviveARestart()
{
    QScopedPointer<Controller> first(startClient());
    QVERIFY(first->getIsStart());
    QStringList ips;
    QList<int> ports;
    for (bool residential : { false, false, true }) {
        ProxyServerInfo* line = bindNew(first.data(), residential);
        QVERIFY(line);
        ips << line->getIp();
        ports << line->getBindPort();
    }
    for (int i = 0; i < 3; ++i)
        QCOMPARE(peers::exitIpThrough(ports[i], m_service.base()), ips[i]);
    first->saveConfigToFile();
    first->stopProxy();
    first.reset();
    for (int port : ports)
        QVERIFY(peers::curlThrough(port, m_service.base(), 3).exitCode != 0);

    // A new client on the same Documents folder: logging in and starting the helper is all.
    QScopedPointer<Controller> second(startClient());
    QVERIFY(second->getIsStart());
    for (int i = 0; i < 3; ++i)
        QTRY_COMPARE_WITH_TIMEOUT(peers::exitIpThrough(ports[i], m_service.base()), ips[i], 10000);
    second->freeProxyPort();
    QSignalSpy freed(second.data(), &Controller::freePortStatus);
    QTRY_VERIFY_WITH_TIMEOUT(!freed.isEmpty(), 10000);
    second->stopProxy();
}

void TestListsE2E::ageingPastSixHoursAndADay()
{
    QScopedPointer<Controller> c(startClient());
    ProxyServerInfo* line = bindNew(c.data(), false);
    QVERIFY(line);
    const int port = line->getBindPort();
    const QString ip = line->getIp();
    QCOMPARE(peers::exitIpThrough(port, m_service.base()), ip);

    // Six hours on: one upkeep pass frees the port at the helper and marks the line run out.
    zq::clock::setOffset(21601);
    QVERIFY(moveServiceClock(21601));
    QSignalSpy freed(c.data(), &Controller::freeOnePortStatus);
    c->doLocalEvent();
    QTRY_VERIFY_WITH_TIMEOUT(!freed.isEmpty(), 10000);
    QCOMPARE(freed.first(), QVariantList({ true, "", port }));
    QVERIFY(line->getIsExpired());
    QCOMPARE(line->getBindPort(), 0);
    QVERIFY(peers::curlThrough(port, m_service.base(), 3).exitCode != 0);
    // The service still lists it today, so the refresh keeps it, run out.
    QSignalSpy today(c.data(), &Controller::getTodayListStatus);
    c->getTodayList("S5");
    QTRY_VERIFY_WITH_TIMEOUT(!today.isEmpty(), 10000);
    QVERIFY(c->getTodayProxyServerInfo().contains(line));
    QVERIFY(line->getBindTime() > 0);

    // A day on: the refresh drops it from the list and from its file.
    zq::clock::setOffset(86401);
    QVERIFY(moveServiceClock(86401));
    today.clear();
    c->getTodayList("S5");
    QTRY_VERIFY_WITH_TIMEOUT(!today.isEmpty(), 10000);
    for (QObject* o : c->getTodayProxyServerInfo())
        QVERIFY(rec(o)->getIp() != ip);
    Controller reader(m_docs.path(), m_app.path());
    QVERIFY(reader.readTodayListInfo("demo_todayList.json"));
    for (QObject* o : reader.getTodayProxyServerInfo())
        QVERIFY(rec(o)->getIp() != ip);
    c->stopProxy();
}

void TestListsE2E::reconciliationFollowsTheHelper()
{
    QScopedPointer<Controller> c(startClient());
    ProxyServerInfo* line = bindNew(c.data(), false);
    QVERIFY(line);
    const int oldPort = line->getBindPort();
    const int newPort = m_start + 8;
    QVERIFY(oldPort != newPort);

    // Someone re-binds the line directly through the helper's API.
    const PayloadCodec codec;
    const QJsonObject moved
        = postForm(QStringLiteral("http://127.0.0.1:%1/api/set_port_session").arg(c->getLocalPort()),
            { { "user_session", codec.encodeText("demo") }, { "area", "US" }, { "session_id", line->getSessionId() },
                { "region", "" }, { "port", QString::number(newPort) }, { "open_port", codec.encodeText("1") },
                { "sn", line->getSn() }, { "server", line->getProxyIp() }, { "client_ip", line->getIp() } });
    QCOMPARE(moved.value("data").toObject().value("bind_status").toString(), QStringLiteral("success"));
    QCOMPARE(line->getBindPort(), oldPort);

    c->compareIpAndPortState();
    QTRY_COMPARE_WITH_TIMEOUT(line->getBindPort(), newPort, 2500);
    QCOMPARE(c->portTable()->slotFor(newPort)->getLineInfo(), line);
    QVERIFY(c->portTable()->slotFor(newPort)->getUsed());
    QVERIFY(!c->portTable()->slotFor(oldPort)->getUsed());
    QCOMPARE(peers::exitIpThrough(newPort, m_service.base()), line->getIp());
    c->stopProxy();
}

void TestListsE2E::apiLinkWithABlankBindsLines()
{
    QScopedPointer<Controller> c(startClient());
    const QString link = c->createApiLink("", "", "New York", "", "", "2", QString::number(m_start + 6), "txt", "", "");
    QVERIFY(link.contains("city=New%20York"));
    // Fetched on this machine's loopback, as another program on it would.
    QUrl url(link);
    url.setHost(QStringLiteral("127.0.0.1"));
    QNetworkReply* reply = m_nam.get(QNetworkRequest(url));
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 15000);
    const QStringList addresses = QString::fromUtf8(reply->readAll()).split('\n', Qt::SkipEmptyParts);
    reply->deleteLater();
    QCOMPARE(addresses.size(), 2);
    for (const QString& address : addresses) {
        const int port = address.section(':', 1).toInt();
        QVERIFY2(port >= m_start + 6, qPrintable(address));
        const QString exitIp = peers::exitIpThrough(port, m_service.base());
        QVERIFY2(exitIp.startsWith("127.0.2."), qPrintable(exitIp));
    }
    c->freeProxyPort();
    QSignalSpy freed(c.data(), &Controller::freePortStatus);
    QTRY_VERIFY_WITH_TIMEOUT(!freed.isEmpty(), 10000);
    c->stopProxy();
}

QTEST_MAIN(TestListsE2E)
#include "test_lists_e2e.moc"
