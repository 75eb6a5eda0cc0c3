#include "configfile.h"
#include "userinfo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsValuesAndKeyOrder();
    void oddFiles_data();
    void oddFiles();
    void failedWriteKeepsOldFile();
    void failedCommitLogsNoSuccess();
    void expireTimeText();
    void passwordNeverLogged();
};

namespace {
QStringList g_log;
void capture(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_log.append(message);
}
} // namespace

void TestSettings::roundTripKeepsValuesAndKeyOrder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/proxy.json")); // missing folder is created
    Settings out;
    out.autoLogin = true;
    out.email = QStringLiteral("a@b.c");
    out.password = QStringLiteral("pä\"ss");
    out.portNum = 120;
    out.startPort = 2000;
    out.uid = 42;
    out.username = QStringLiteral("demo");
    QCOMPARE(ConfigFile::save(path, out), QString());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.startsWith("{\"autoLogin\":true,\"email\":"));
    QVERIFY(!text.contains(' ') || text.contains("pä")); // compact
    QVERIFY(!text.contains('\n'));

    Settings in;
    QVERIFY(ConfigFile::read(path, in));
    QCOMPARE(in.autoLogin, true);
    QCOMPARE(in.email, out.email);
    QCOMPARE(in.password, out.password);
    QCOMPARE(in.portNum, 120);
    QCOMPARE(in.startPort, 2000);
    QCOMPARE(in.uid, 42);
    QCOMPARE(in.username, out.username);
}

void TestSettings::oddFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("readOk");
    QTest::addColumn<int>("portNum");
    QTest::addColumn<QString>("username");

    QTest::newRow("missing file") << QByteArray() << false << false << 7 << "keep";
    QTest::newRow("empty file") << QByteArray() << true << true << 7 << "keep";
    QTest::newRow("not json") << QByteArray("\x00\xff garbage {") << true << true << 7 << "keep";
    QTest::newRow("json array") << QByteArray("[1,2]") << true << true << 7 << "keep";
    QTest::newRow("no portNum") << QByteArray("{\"username\":\"u\"}") << true << true << 0 << "u";
    QTest::newRow("wrong types") << QByteArray("{\"portNum\":\"9\",\"username\":5}") << true << true << 0 << "";
}

void TestSettings::oddFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, exists);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("proxy.json"));
    if (exists) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    Settings s;
    s.portNum = 7;
    s.username = QStringLiteral("keep");
    QTEST(ConfigFile::read(path, s), "readOk");
    QTEST(s.portNum, "portNum");
    QTEST(s.username, "username");
}

void TestSettings::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("proxy.json"));
    Settings s;
    s.username = QStringLiteral("first");
    QCOMPARE(ConfigFile::save(path, s), QString());
    // A directory where the temporary file would go makes the write fail.
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    s.username = QStringLiteral("second");
    const QString error = ConfigFile::save(path, s);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (error.isEmpty())
        QSKIP("running with rights that ignore folder permissions");
    Settings back;
    QVERIFY(ConfigFile::read(path, back));
    QCOMPARE(back.username, QStringLiteral("first"));
}

void TestSettings::failedCommitLogsNoSuccess()
{
    // A file-size limit makes the write fail at commit, whatever this process's rights.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("proxy.json"));
    Settings s;
    s.username = QStringLiteral("someone-with-a-long-enough-name");
    rlimit old {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    g_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    const QString error = ConfigFile::save(path, s);
    qInstallMessageHandler(previous);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!error.isEmpty());
    QVERIFY(g_log.contains(QStringLiteral("save config fail!")));
    QVERIFY2(!g_log.contains(QStringLiteral("save config succ")), qPrintable(g_log.join('\n')));
    QVERIFY(!QFile::exists(path));
}

void TestSettings::expireTimeText()
{
    UserInfo* user = UserInfo::instance();
    user->setExpireUTC(0);
    QCOMPARE(user->getExpireTimeStr(), QStringLiteral("*************"));
    const QDateTime local(QDate(2030, 1, 2), QTime(3, 4));
    user->setExpireUTC(uint(local.toSecsSinceEpoch()));
    QCOMPARE(user->getExpireTimeStr(), QStringLiteral("2030-01-02 03:04"));
}

void TestSettings::passwordNeverLogged()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("proxy.json"));
    Settings s;
    s.password = QStringLiteral("s3cret-pw");
    g_log.clear();
    const QtMessageHandler previous = qInstallMessageHandler(capture);
    ConfigFile::save(path, s);
    Settings back;
    ConfigFile::read(path, back);
    qInstallMessageHandler(previous);
    QCOMPARE(back.password, s.password); // the file itself keeps it
    QVERIFY(!g_log.join(QLatin1Char('\n')).contains(QStringLiteral("s3cret-pw")));
    QVERIFY(g_log.join(QLatin1Char('\n')).contains(QStringLiteral("*********")));

    // A damaged file is not logged as it stands: it may still hold the password.
    QFile damaged(path);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(R"({"username":"u","password":"s3cret-pw")");
    damaged.close();
    g_log.clear();
    const QtMessageHandler again = qInstallMessageHandler(capture);
    QVERIFY(ConfigFile::read(path, back));
    qInstallMessageHandler(again);
    QVERIFY(!g_log.join(QLatin1Char('\n')).contains(QStringLiteral("s3cret-pw")));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
