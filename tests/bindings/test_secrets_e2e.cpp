// A whole session through the Controller against the real zq-service and clientProxy: the
// password and its codec text never reach the log, and the bulk-binding link carries the key of
// the helper's own start arguments.
#include "../account/testservers.h"
#include "controller.h"
#include "helperprocess.h"
#include "peerfixture.h"
#include "portinfo.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "userinfo.h"

#include <QCryptographicHash>
#include <QSignalSpy>
#include <QUrlQuery>
#include <memory>

namespace {

const QString kPassword = QStringLiteral("demo123");

QString startValue(const QStringList& arguments, const QString& name)
{
    const QString prefix = QLatin1Char('-') + name + QLatin1Char('=');
    for (const QString& argument : arguments) {
        if (argument.startsWith(prefix))
            return argument.mid(prefix.size());
    }
    return {};
}

QString md5(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString keyOf(const QString& link)
{
    return QUrlQuery(QUrl(link)).queryItemValue(QStringLiteral("key"));
}

} // namespace

class TestSecretsE2E : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void apiLinkKeyBeforeTheHelperStarts();
    void wholeSessionLogsNoPassword();
    void apiLinkKeyIsTheHelpersStartKey();

private:
    bool login();

    // Made once the test runner has installed its own message handler, which it replaces.
    std::unique_ptr<LogCapture> m_log;
    peers::Service m_service;
    QTemporaryDir m_docs, m_app, m_state;
    Controller* m_c = nullptr;
    int m_start = 0;
    QStringList m_codecTexts;
};

bool TestSecretsE2E::login()
{
    QSignalSpy spy(m_c, &Controller::loginStatus);
    m_c->login(QStringLiteral("demo"), kPassword);
    const bool ok = QTest::qWaitFor([&spy]() { return !spy.isEmpty(); }, 10000) && spy.first().at(0).toBool();
    // The codec text is salted: every login brings a new one.
    if (ok)
        m_codecTexts << UserInfo::instance()->getPwd();
    return ok;
}

void TestSecretsE2E::initTestCase()
{
    m_log = std::make_unique<LogCapture>();
    QVERIFY(m_service.start(m_state.filePath("state.json")));
    m_c = new Controller(m_docs.path(), m_app.path());
    m_c->init();
    m_start = peers::freeRange(4);
    QVERIFY(m_start > 0);
    m_c->portTable()->setStartPort(m_start);
    m_c->setPortNum(4);
    m_c->createPortInfoList();
    m_c->helper()->setProgram(QStringLiteral(ZQ_BIN_DIR "/clientProxy"));
    QVERIFY(login());
    QVERIFY(!UserInfo::instance()->getPwd().isEmpty());
}

void TestSecretsE2E::cleanupTestCase()
{
    if (m_c)
        m_c->stopProxy();
    delete m_c;
}

void TestSecretsE2E::apiLinkKeyBeforeTheHelperStarts()
{
    // Not started yet: the key the next start will give, from the current session.
    const QString link = m_c->createApiLink("", "", "", "", "", "1", QString::number(m_start), "txt", "", "");
    QCOMPARE(keyOf(link), md5(UserInfo::instance()->getSessionId() + "|" + m_c->unionId()));
    QVERIFY(link.endsWith(QStringLiteral("&endip=&key=") + keyOf(link)));
}

void TestSecretsE2E::wholeSessionLogsNoPassword()
{
    QSignalSpy status(m_c, &Controller::sendServerStatus);
    QVERIFY(m_c->startProxy());
    QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 15000);
    QVERIFY(status.first().at(0).toBool());

    // Lines of two plans, a binding, its release, the account's counters, a second login.
    QSignalSpy lines(m_c, &Controller::getLineListStatus);
    m_c->getLineListV2("", "", "", "", "", "", "", 5);
    QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 10000);
    QVERIFY(lines.first().at(0).toBool());
    QSignalSpy resi(m_c, &Controller::getResiTrafficListStatus);
    m_c->getResiTrafficLineList("", "", "", "", "", "", "", 5);
    QTRY_VERIFY_WITH_TIMEOUT(!resi.isEmpty(), 10000);
    auto* line = qobject_cast<ProxyServerInfo*>(m_c->getProxyServerInfo().value(0));
    QVERIFY(line);
    QSignalSpy bound(m_c, &Controller::setPortSessionStatus);
    m_c->setPortSession(line->getSessionId(), line->getIp(), 0, line->getProxyIp(), line->getSn(), 0,
        line->getCountry(), line->getRegion(), true, true);
    QTRY_VERIFY_WITH_TIMEOUT(!bound.isEmpty(), 15000);
    QVERIFY(bound.first().at(0).toBool());
    QSignalSpy freed(m_c, &Controller::freeOnePortStatus);
    m_c->freeOneProxyPort(m_start);
    QTRY_VERIFY_WITH_TIMEOUT(!freed.isEmpty(), 10000);
    QSignalSpy ips(m_c, &Controller::getUserIpNumsStatus);
    m_c->getUserIpNumber();
    QTRY_VERIFY_WITH_TIMEOUT(!ips.isEmpty(), 10000);
    QVERIFY(login());

    QVERIFY(LogCapture::count(QStringLiteral("req:")) > 0); // the log was captured at all
    QVERIFY(LogCapture::contains(QStringLiteral("pwd:")));
    QVERIFY2(!LogCapture::contains(kPassword), "the password is in the log");
    QVERIFY(m_codecTexts.size() >= 2);
    for (const QString& codecText : qAsConst(m_codecTexts)) {
        QVERIFY(!codecText.isEmpty());
        QVERIFY2(!LogCapture::contains(codecText), qPrintable("the password's codec text is in the log: " + codecText));
    }
}

void TestSecretsE2E::apiLinkKeyIsTheHelpersStartKey()
{
    const QStringList started = m_c->helper()->lastArguments();
    const QString sessionId = startValue(started, QStringLiteral("sessionid"));
    const QString unionId = startValue(started, QStringLiteral("uuid"));
    QVERIFY(!sessionId.isEmpty());
    QVERIFY(!unionId.isEmpty());
    const QString expected = md5(sessionId + QLatin1Char('|') + unionId);
    QCOMPARE(keyOf(m_c->createApiLink("", "", "", "", "", "1", QString::number(m_start), "txt", "", "")), expected);

    // A periodic login gives the client a new session id; the running helper keeps its own.
    QVERIFY(login());
    QVERIFY(UserInfo::instance()->getSessionId() != sessionId);
    QCOMPARE(m_c->helper()->lastArguments(), started);
    QCOMPARE(keyOf(m_c->createApiLink("US", "", "", "", "", "2", QString::number(m_start), "json", "", "")), expected);
}

QTEST_MAIN(TestSecretsE2E)
#include "test_secrets_e2e.moc"
