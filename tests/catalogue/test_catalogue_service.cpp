// Line queries and the area list against a running zq-service, through the Controller.
#include "areacatalogue.h"
#include "controller.h"
#include "linecatalogue.h"
#include "payloadcodec.h"
#include "proxyserverinfo.h"
#include "requestlayer.h"
#include "requestposter.h"
#include "userinfo.h"

#include <QCryptographicHash>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace zq::catalogue;

class TestCatalogueService : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void filterRulesAsTheServiceReceivesThem();
    void repeatedCountryNameAsksForEach();
    void searchesReturnOnlyMatchingRecords();
    void refusedQueryKeepsTheList();
    void areaFileDecodesToTheReply();

private:
    // Routes line queries through a sender that asks the service to echo the form it received.
    void useEchoPoster();
    void useRealPoster() { m_c->lines()->setPoster(requestPoster(m_c->requests())); }
    // Calls a Controller invokable and returns the form fields the service saw.
    QJsonObject echoOf(const char* method, const QVariantList& args);
    QStringList ips(const QList<QObject*>& list) const;
    void checkRecords(const QList<QObject*>& list) const;

    QProcess m_service;
    QString m_base;
    QTemporaryDir m_docs, m_app, m_state;
    Controller* m_c = nullptr;
    QNetworkAccessManager m_nam;
    QJsonObject m_lastReply;
};

void TestCatalogueService::initTestCase()
{
    m_service.setProgram(QStringLiteral(ZQ_BIN_DIR "/zq-service"));
    m_service.setArguments(
        { "--listen", "127.0.0.1:0", "--exit-listen", "127.0.0.1:0", "--state", m_state.filePath("state.json") });
    m_service.start();
    QVERIFY2(m_service.waitForStarted(5000), qPrintable(m_service.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(m_service.canReadLine(), 10000);
    const QString first = QString::fromUtf8(m_service.readLine()).trimmed();
    const QRegularExpressionMatch m = QRegularExpression("^listening (http://\\S+) exit").match(first);
    QVERIFY2(m.hasMatch(), qPrintable(first));
    m_base = m.captured(1);
    qputenv("ZQ_ACCOUNT_BASE", m_base.toUtf8());
    qputenv("ZQ_RESOURCE_BASE", m_base.toUtf8());

    QVERIFY(QFile::copy(QStringLiteral(ZQ_BIN_DIR "/asn.txt"), m_app.filePath("asn.txt")));
    m_c = new Controller(m_docs.path(), m_app.path());
    QVERIFY(m_c->init()); // its result is the ASN table's
    QVERIFY(m_c->searchAsn(QStringLiteral("comcast")).contains(QStringLiteral("Comcast")));

    QSignalSpy login(m_c, &Controller::loginStatus);
    m_c->login(QStringLiteral("demo"), QStringLiteral("demo123"));
    QTRY_COMPARE_WITH_TIMEOUT(login.count(), 1, 10000);
    QVERIFY2(login.first().at(0).toBool(), qPrintable(login.first().at(1).toString()));
    QVERIFY(!UserInfo::instance()->getSessionId().isEmpty());

    QSignalSpy areas(m_c, &Controller::getAreaListStatus);
    m_c->getAreaList();
    QTRY_COMPARE_WITH_TIMEOUT(areas.count(), 1, 10000);
    QVERIFY(areas.first().at(0).toBool());
}

void TestCatalogueService::cleanupTestCase()
{
    delete m_c;
    m_service.kill();
    m_service.waitForFinished(5000);
}

void TestCatalogueService::useEchoPoster()
{
    LineCatalogue* lines = m_c->lines();
    m_c->lines()->setPoster([this, lines](const QString& url, const FormFields& fields, const QString& type) {
        QHttpMultiPart* body = RequestLayer::newForm();
        for (const auto& f : fields)
            RequestLayer::addFormPart(body, f.first, f.second);
        QNetworkRequest request(url);
        request.setRawHeader("session-id", UserInfo::instance()->getSessionId().toUtf8());
        request.setRawHeader("x-echo", "1");
        QNetworkReply* reply = m_nam.post(request, body);
        body->setParent(reply);
        connect(reply, &QNetworkReply::finished, this, [this, reply, lines, url, type]() {
            reply->deleteLater();
            m_lastReply = QJsonDocument::fromJson(reply->readAll()).object();
            if (url.contains("/unlimit/get_unlimit_list"))
                lines->dealProxyServerUnlimitInfo(m_lastReply);
            else if (type == QLatin1String("ResidentTraffic"))
                lines->dealProxyServerResidentTrafficInfo(m_lastReply);
            else
                lines->dealProxyServerInfo(m_lastReply);
        });
    });
}

QJsonObject TestCatalogueService::echoOf(const char* method, const QVariantList& args)
{
    m_lastReply = QJsonObject();
    QGenericArgument a[9];
    QList<QString> strings;
    QList<int> ints;
    strings.reserve(9);
    ints.reserve(9);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i].type() == QVariant::Int) {
            ints.append(args[i].toInt());
            a[i] = Q_ARG(int, ints.last());
        } else {
            strings.append(args[i].toString());
            a[i] = Q_ARG(QString, strings.last());
        }
    }
    if (!QMetaObject::invokeMethod(m_c, method, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8]))
        return QJsonObject { { "invoke", "failed" } };
    QTest::qWaitFor([this]() { return !m_lastReply.isEmpty(); }, 10000);
    return m_lastReply.value("echo").toObject();
}

QStringList TestCatalogueService::ips(const QList<QObject*>& list) const
{
    QStringList out;
    for (QObject* o : list)
        out << qobject_cast<ProxyServerInfo*>(o)->getIp();
    return out;
}

void TestCatalogueService::checkRecords(const QList<QObject*>& list) const
{
    const PayloadCodec codec;
    for (QObject* o : list) {
        const auto* r = qobject_cast<ProxyServerInfo*>(o);
        QVERIFY(r);
        const QStringList parts = r->getIp().split('.');
        QCOMPARE(parts.size(), 4);
        QCOMPARE(r->getHideIp(), parts[0] + "." + parts[1] + ".***.***");
        const QByteArray sn = codec.decode(r->getSn());
        QVERIFY(sn.startsWith("SN-"));
        QCOMPARE(r->getSessionId(),
            QString::fromLatin1(
                QCryptographicHash::hash(sn + m_c->unionId().toUtf8(), QCryptographicHash::Md5).toHex()));
        QVERIFY(r->getPing() >= 20 && r->getPing() <= 99);
        QVERIFY(r->getOnLine());
    }
}

void TestCatalogueService::filterRulesAsTheServiceReceivesThem()
{
    useEchoPoster();
    const PayloadCodec codec;
    const QString pwd = UserInfo::instance()->getPwd();

    // No preferences: empty country, places and ISP; seven arguments ask for 20 lines.
    QJsonObject echo = echoOf("getLineListV2", { "random", "", "random", "", "", "", "" });
    QCOMPARE(echo.value("num").toString(), QStringLiteral("20"));
    for (const char* key : { "country", "state", "city", "postal", "isp", "startip", "endip" })
        QVERIFY2(echo.value(key) == QJsonValue(QString()), key);
    QCOMPARE(codec.decodeText(echo.value("user").toString()), QStringLiteral("demo"));
    QCOMPARE(echo.value("pwd").toString(), pwd);
    QVERIFY(!echo.contains("plantype"));
    QCOMPARE(m_c->getProxyServerInfo().size(), 20);

    // Names become codes; places and IP ends go as typed.
    echo = echoOf(
        "getLineListV2", { "United States", "Texas", "Houston", "770", "Comcast", "127.0.0.1", "127.0.255.255", 5 });
    QCOMPARE(echo.value("country").toString(), QStringLiteral("US"));
    QCOMPARE(echo.value("state").toString(), QStringLiteral("Texas"));
    QCOMPARE(echo.value("city").toString(), QStringLiteral("Houston"));
    QCOMPARE(echo.value("postal").toString(), QStringLiteral("770"));
    QCOMPARE(echo.value("isp").toString(), QStringLiteral("AS7922"));
    QCOMPARE(echo.value("startip").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(echo.value("endip").toString(), QStringLiteral("127.0.255.255"));
    QCOMPARE(echo.value("num").toString(), QStringLiteral("5"));

    // Unknown names send no field at all: the service applies no filter.
    echo = echoOf("getLineListV2", { "Atlantis", "", "", "", "No Such ISP", "", "" });
    QVERIFY(!echo.contains("country"));
    QVERIFY(!echo.contains("isp"));
    QSet<QString> countries;
    for (QObject* o : m_c->getProxyServerInfo())
        countries.insert(qobject_cast<ProxyServerInfo*>(o)->getCountry());
    QVERIFY(countries.size() > 1);

    // The oldest query: no ISP or IP range fields.
    echo = echoOf("getLineList", { "Germany", "Berlin", "", "" });
    QCOMPARE(echo.value("country").toString(), QStringLiteral("DE"));
    QCOMPARE(echo.value("num").toString(), QStringLiteral("20"));
    QVERIFY(!echo.contains("isp") && !echo.contains("startip") && !echo.contains("endip"));
    QCOMPARE(codec.decodeText(echo.value("user").toString()), QStringLiteral("demo"));

    // Residential: seven arguments give 20 lines of plan "flow".
    echo = echoOf("getResiTrafficLineList", { "Australia", "", "", "", "", "", "" });
    QCOMPARE(echo.value("num").toString(), QStringLiteral("20"));
    QCOMPARE(echo.value("plantype").toString(), QStringLiteral("flow"));
    QCOMPARE(echo.value("country").toString(), QStringLiteral("AU"));
    QVERIFY(!m_c->getProxyServerResiTrafficInfo().isEmpty());
    for (QObject* o : m_c->getProxyServerResiTrafficInfo())
        QVERIFY(!qobject_cast<ProxyServerInfo*>(o)->getPlanTypeKey().isEmpty());

    // Unlimited: only num, user, pwd and plantype.
    echo = echoOf("getUnlimitLineList", {});
    QStringList keys = echo.keys();
    keys.sort();
    QCOMPARE(keys, QStringList({ "num", "plantype", "pwd", "user" }));
    QCOMPARE(echo.value("num").toString(), QStringLiteral("20"));
    QCOMPARE(echo.value("plantype").toString(), QStringLiteral("unlimit"));
    QVERIFY(!m_c->getProxyServerUnlimitInfo().isEmpty());
    for (QObject* o : m_c->getProxyServerUnlimitInfo()) {
        QVERIFY(!qobject_cast<ProxyServerInfo*>(o)->getPlanType().isEmpty());
        QVERIFY(qobject_cast<ProxyServerInfo*>(o)->getPlanTypeKey().isEmpty());
    }
    checkRecords(m_c->getProxyServerUnlimitInfo());
    useRealPoster();
}

void TestCatalogueService::repeatedCountryNameAsksForEach()
{
    // An area list where two countries carry one name: both codes go out.
    QJsonArray data;
    data.append(QJsonObject { { "code", "US" }, { "name", "Twinland" } });
    data.append(QJsonObject { { "code", "DE" }, { "name", "Twinland" } });
    m_c->areas()->dealAreaList(QJsonObject { { "code", 0 }, { "data", data } }, false);
    useEchoPoster();
    const QJsonObject echo = echoOf("getLineListV2", { "Twinland", "", "", "", "", "", "", 200 });
    QCOMPARE(echo.value("country").toArray(), QJsonArray({ "US", "DE" }));
    QSet<QString> seen;
    for (QObject* o : m_c->getProxyServerInfo())
        seen.insert(qobject_cast<ProxyServerInfo*>(o)->getIso());
    QCOMPARE(seen, QSet<QString>({ "US", "DE" }));
    useRealPoster();
    QVERIFY(m_c->readAreaList()); // back to the service's list
    QVERIFY(m_c->getCountryNameList().contains(QStringLiteral("United States")));
}

void TestCatalogueService::searchesReturnOnlyMatchingRecords()
{
    struct Search {
        const char* method;
        QStringList args;
        QString state, city, isp;
    };
    const Search searches[] = {
        { "getLineListV2", { "United States", "New York", "", "", "Charter", "", "" }, "New York", "", "Charter" },
        { "getLineListV2", { "United States", "California", "San Francisco", "", "", "", "" }, "California",
            "San Francisco", "" },
        { "getResiTrafficLineList", { "United States", "Texas", "Houston", "", "Comcast", "", "" }, "Texas", "Houston",
            "Comcast" },
        { "getResiTrafficLineList", { "Germany", "", "", "", "Deutsche Telekom", "", "" }, "", "", "Deutsche Telekom" },
    };
    for (const Search& s : searches) {
        const bool resi = QByteArray(s.method) == "getResiTrafficLineList";
        QSignalSpy status(m_c, resi ? &Controller::getResiTrafficListStatus : &Controller::getLineListStatus);
        QVERIFY(QMetaObject::invokeMethod(m_c, s.method, Q_ARG(QString, s.args[0]), Q_ARG(QString, s.args[1]),
            Q_ARG(QString, s.args[2]), Q_ARG(QString, s.args[3]), Q_ARG(QString, s.args[4]), Q_ARG(QString, s.args[5]),
            Q_ARG(QString, s.args[6])));
        QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);
        QVERIFY2(status.first().at(0).toBool(), qPrintable(status.first().at(1).toString()));
        const QList<QObject*> list = resi ? m_c->getProxyServerResiTrafficInfo() : m_c->getProxyServerInfo();
        QVERIFY2(!list.isEmpty(), s.method);
        checkRecords(list);
        for (QObject* o : list) {
            const auto* r = qobject_cast<ProxyServerInfo*>(o);
            QCOMPARE(r->getCountry(), s.args[0]);
            if (!s.state.isEmpty())
                QCOMPARE(r->getState(), s.state);
            if (!s.city.isEmpty())
                QCOMPARE(r->getCity(), s.city);
            if (!s.isp.isEmpty())
                QCOMPARE(r->getIsp(), s.isp);
            QCOMPARE(r->getPlanTypeKey().isEmpty(), !resi);
        }
    }
}

void TestCatalogueService::refusedQueryKeepsTheList()
{
    QSignalSpy status(m_c, &Controller::getLineListStatus);
    m_c->getLineListV2("Germany", "", "", "", "", "", "");
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);
    const QStringList before = ips(m_c->getProxyServerInfo());
    QVERIFY(!before.isEmpty());
    // The service refuses an IP range that runs backwards.
    m_c->getLineListV2("Germany", "", "", "", "", "127.0.9.9", "127.0.0.1");
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 2, 10000);
    QCOMPARE(status.last().at(0).toBool(), false);
    QVERIFY(!status.last().at(1).toString().isEmpty());
    QCOMPARE(ips(m_c->getProxyServerInfo()), before);
    m_c->LineListSort(QStringLiteral("S5_ProxyList"), QStringLiteral("IP"));
    QStringList sorted = before;
    sorted.sort();
    QCOMPARE(ips(m_c->getProxyServerInfo()), sorted);
}

void TestCatalogueService::areaFileDecodesToTheReply()
{
    QSignalSpy status(m_c, &Controller::getAreaListStatus);
    m_c->getAreaList();
    QTRY_COMPARE_WITH_TIMEOUT(status.count(), 1, 10000);
    QVERIFY(status.first().at(0).toBool());

    // What the service answers to the same request.
    QHttpMultiPart* body = RequestLayer::newForm();
    QNetworkReply* reply = m_nam.post(QNetworkRequest(QUrl(m_base + "/api/get_area_list")), body);
    body->setParent(reply);
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 10000);
    const QJsonDocument served = QJsonDocument::fromJson(reply->readAll());
    reply->deleteLater();
    QVERIFY(served.isObject());

    // The file, decoded by the independent implementation.
    QProcess python;
    python.setStandardInputFile(m_c->paths().configDir + QStringLiteral("/areaList.json"));
    python.start(QStringLiteral(ZQ_PYTHON), { QStringLiteral(ZQ_REFERENCE_CODEC), QStringLiteral("decode") });
    QVERIFY(python.waitForFinished(10000));
    QCOMPARE(python.exitCode(), 0);
    const QJsonDocument decoded = QJsonDocument::fromJson(python.readAllStandardOutput());
    QVERIFY(decoded.isObject());
    QCOMPARE(decoded.object(), served.object());
    QVERIFY(m_c->getCountryNameList().size() == served.object().value("data").toArray().size());
}

QTEST_GUILESS_MAIN(TestCatalogueService)
#include "test_catalogue_service.moc"
