#include "controller.h"
#include "platform.h"
#include "userinfo.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

class TestControllerCore : public QObject {
    Q_OBJECT
private slots:
    void constantsAndAccessors();
    void initSkipsHeldPortAndReadsSettings();
    void saveFailureIsReported();
    void unionIdIsStableMd5();
    void notificationSocketListensOnLoopbackOnly();
};

void TestControllerCore::constantsAndAccessors()
{
    QTemporaryDir docs, install;
    Controller c(docs.path(), install.path());
    QCOMPARE(c.getVersion(), QStringLiteral("207"));
    QCOMPARE(c.getShowVersion(), QStringLiteral("2.0.7"));
    QCOMPARE(c.getLocalPort(), 12369);
    QCOMPARE(c.getStartPort(), 1000);
    QCOMPARE(c.getPortNum(), 100);
    QCOMPARE(c.getIsLogin(), false);
    QCOMPARE(c.getAutoLogin(), true);
    QCOMPARE(c.getStringLength(QStringLiteral("a😀")), 3); // UTF-16 code units
    QCOMPARE(c.getLangList(), QStringList({ QStringLiteral("English"), QStringLiteral("繁體中文") }));
    QVERIFY(c.paths().configDir.startsWith(docs.path()));
    QVERIFY(QDir(c.paths().configDir).exists());
    QCOMPARE(c.addresses().localBase(), QStringLiteral("http://127.0.0.1:12369"));
    QVERIFY(c.notificationPort() > 0);
}

void TestControllerCore::initSkipsHeldPortAndReadsSettings()
{
    QTemporaryDir docs, install;
    const int shift = zq::platform::lowPortShift(200);
    QTcpServer held;
    if (!held.listen(QHostAddress::Any, quint16(200 + shift)))
        QSKIP("port 200 is taken on this machine");
    QTcpServer held2;
    held2.listen(QHostAddress::Any, quint16(300 + shift));

    QDir().mkpath(docs.path() + "/ZQ_Config");
    QFile file(docs.path() + "/ZQ_Config/proxy.json");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"autoLogin":false,"portNum":50,"startPort":3000,"username":"demo","password":"x"})");
    file.close();

    // init answers whether the installation's ASN table could be read.
    QFile asn(install.path() + "/asn.txt");
    QVERIFY(asn.open(QIODevice::WriteOnly));
    asn.close();

    Controller c(docs.path(), install.path());
    QVERIFY(c.init());
    QVERIFY(c.getLocalPort() > 200 + shift && c.getLocalPort() < 1000 + shift);
    QVERIFY(c.getPortForProgrameProxy() > 300 + shift);
    QCOMPARE(c.getPortNum(), 50);
    QCOMPARE(c.getStartPort(), 3000);
    QCOMPARE(c.getAutoLogin(), false);
    QCOMPARE(UserInfo::instance()->getUserName(), QStringLiteral("demo"));
}

void TestControllerCore::saveFailureIsReported()
{
    QTemporaryDir docs, install;
    Controller c(docs.path(), install.path());
    // A folder in the file's place makes every write fail.
    QDir().mkpath(c.paths().configFile());
    QSignalSpy spy(&c, &Controller::proxyClientMessage);
    c.saveConfigToFile();
    QCOMPARE(spy.count(), 1);
    QVERIFY(spy.at(0).at(0).toString().startsWith(QStringLiteral("save config fail")));
}

void TestControllerCore::unionIdIsStableMd5()
{
    QTemporaryDir docs, install;
    Controller a(docs.path(), install.path());
    Controller b(docs.path(), install.path());
    QCOMPARE(a.unionId(), b.unionId());
    QCOMPARE(a.unionId().size(), 32);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(a.unionId()).hasMatch());
}

void TestControllerCore::notificationSocketListensOnLoopbackOnly()
{
    QTemporaryDir docs, install;
    Controller c(docs.path(), install.path());
    const int port = c.notificationPort();
    QVERIFY(port > 0);
    // Local addresses of every UDP socket on that port, as the kernel lists them.
    QStringList addresses;
    for (const char* table : { "/proc/net/udp", "/proc/net/udp6" }) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 2 || !fields.at(1).contains(':'))
                continue;
            const QList<QByteArray> local = fields.at(1).split(':');
            bool ok = false;
            if (local.value(1).toInt(&ok, 16) == port && ok)
                addresses << QString::fromLatin1(local.value(0));
        }
    }
    // 127.0.0.1 in the kernel's byte order; never the wildcard or a LAN address.
    QVERIFY2(addresses.contains(QStringLiteral("0100007F")), qPrintable(addresses.join(',')));
    for (const QString& address : addresses)
        QVERIFY2(address == QLatin1String("0100007F"), qPrintable(addresses.join(',')));
}

QTEST_GUILESS_MAIN(TestControllerCore)
#include "test_controller_core.moc"
