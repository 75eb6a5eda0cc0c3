// Finding and killing processes by executable name, and starting programs.

#include "platform.h"
#ifdef Q_OS_LINUX
#include "procfs.h"
#endif

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

using namespace zq;

class TestProcesses : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void processIdByName_data();
    void processIdByName();
    void killProcessTreeKillsDescendants();
    void killProcessTreeWithNoneRunning();
    void staleHelperKillStaysInItsLane();
    void runElevated_data();
    void runElevated();
#ifdef Q_OS_LINUX
    void statAndExeText();
#endif

private:
    // A copy of a system program under a name nothing else on the machine has; copies, not
    // links, because the system names a process after the file it really runs.
    QString uniqueCopy(const QString& systemProgram, const QString& stem);
    QProcess* start(const QString& program, const QStringList& args);

    QTemporaryDir m_dir;
    QString m_sleep;
    std::vector<std::unique_ptr<QProcess>> m_children;
    QList<qint64> m_grandchildren; // ids the test learnt, killed by cleanup() if still there
};

namespace {
bool hasEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const QByteArray state = text.mid(text.lastIndexOf(')') + 2, 1);
    return state == "Z" || state == "X";
}
} // namespace

QString TestProcesses::uniqueCopy(const QString& systemProgram, const QString& stem)
{
    const QString name = QStringLiteral("zq_platform_test_%1_%2").arg(stem).arg(QCoreApplication::applicationPid());
    const QString path = m_dir.filePath(name);
    if (!QFile::exists(path)) {
        QFile::copy(QStandardPaths::findExecutable(systemProgram), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    return path;
}

QProcess* TestProcesses::start(const QString& program, const QStringList& args)
{
    m_children.push_back(std::make_unique<QProcess>());
    QProcess* process = m_children.back().get();
    process->start(program, args);
    return process->waitForStarted(5000) ? process : nullptr;
}

void TestProcesses::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sleep = uniqueCopy(QStringLiteral("sleep"), QStringLiteral("sleep"));
    QVERIFY(QFileInfo(m_sleep).isExecutable());
}

void TestProcesses::cleanup()
{
    for (auto& child : m_children) {
        child->kill();
        child->waitForFinished(5000);
    }
    m_children.clear();
    // Leave no stray sleeps behind when a kill test failed half-way.
    for (qint64 pid : qAsConst(m_grandchildren)) {
        if (pid > 1 && !hasEnded(pid))
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    m_grandchildren.clear();
}

void TestProcesses::processIdByName_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("found");
    const QString name = QFileInfo(m_sleep).fileName();
    QTest::newRow("exact name, longer than a kernel command name") << name << true;
    QTest::newRow("prefix") << name.chopped(1) << false;
    QTest::newRow("longer name") << name + QLatin1Char('x') << false;
    QTest::newRow("other case") << name.toUpper() << false;
    QTest::newRow("with a Windows suffix") << name + QStringLiteral(".exe") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestProcesses::processIdByName()
{
    QFETCH(QString, query);
    QFETCH(bool, found);
    QProcess* first = start(m_sleep, { QStringLiteral("30") });
    QProcess* second = start(m_sleep, { QStringLiteral("30") });
    QVERIFY(first && second);
    const qint64 lower = qMin(first->processId(), second->processId());
    const qint64 higher = qMax(first->processId(), second->processId());

    QCOMPARE(platform::processIdByName(query), found ? lower : 0);
    const QList<qint64> all = found ? QList<qint64> { lower, higher } : QList<qint64> {};
    QCOMPARE(platform::processIdsByName(query), all);
}

void TestProcesses::killProcessTreeKillsDescendants()
{
    // The shell starts a sleep child and, through a subshell, a sleep grandchild, and prints
    // their ids.
    const QString shell = uniqueCopy(QStringLiteral("sh"), QStringLiteral("sh"));
    QProcess* tree = start(
        shell, { QStringLiteral("-c"), QStringLiteral("(sleep 30 & echo $!; wait) & sleep 30 & echo $!; wait") });
    QVERIFY(tree);
    QList<qint64> descendants;
    while (descendants.size() < 2 && tree->waitForReadyRead(5000)) {
        while (tree->canReadLine())
            descendants << tree->readLine().trimmed().toLongLong();
    }
    m_grandchildren = descendants;
    QCOMPARE(descendants.size(), 2);
    QVERIFY(!hasEnded(descendants[0]) && !hasEnded(descendants[1]));

    QVERIFY(platform::killProcessTree(QFileInfo(shell).fileName()));
    QVERIFY(tree->waitForFinished(5000));
    QCOMPARE(tree->exitStatus(), QProcess::CrashExit);
    QVERIFY(hasEnded(descendants[0]));
    QVERIFY(hasEnded(descendants[1]));
    QCOMPARE(platform::processIdByName(QFileInfo(shell).fileName()), 0);
}

void TestProcesses::killProcessTreeWithNoneRunning()
{
    QTest::ignoreMessage(QtDebugMsg, "kill proc succ");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^cmd: ")));
    QVERIFY(platform::killProcessTree(
        QStringLiteral("zq_platform_test_nothing_%1").arg(QCoreApplication::applicationPid())));
}

void TestProcesses::staleHelperKillStaysInItsLane()
{
    // Two installations' helpers of the same name; another user may run this installation's.
    QTemporaryDir ours, theirs;
    const QString helper = ours.filePath(QStringLiteral("clientProxy"));
    const QString elsewhere = theirs.filePath(QStringLiteral("clientProxy"));
    const QString sh = QStandardPaths::findExecutable(QStringLiteral("sh"));
    const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    for (const QString& path : { helper, elsewhere }) {
        QVERIFY(QFile::copy(sh, path));
        QVERIFY(QFile::setPermissions(path, everyone));
    }
    QVERIFY(QFile::setPermissions(ours.path(), everyone));

    // The stale helper has a child of its own, which goes with it.
    QProcess* stale = start(helper, { QStringLiteral("-c"), QStringLiteral("sleep 30 & echo $!; wait") });
    QVERIFY(stale && stale->waitForReadyRead(5000));
    const qint64 child = stale->readLine().trimmed().toLongLong();
    m_grandchildren << child;
    QProcess* other = start(elsewhere, { QStringLiteral("-c"), QStringLiteral("sleep 30") });
    QVERIFY(other);
    QProcess* otherUser = nullptr;
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (::geteuid() == 0 && !setpriv.isEmpty()) {
        otherUser = start(setpriv, { "--reuid=65534", "--regid=65534", "--clear-groups", helper, "-c", "sleep 30" });
        QVERIFY(otherUser);
        // setpriv replaces itself with the helper; wait until it has.
        const QString exe = QStringLiteral("/proc/%1/exe").arg(otherUser->processId());
        QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(exe).symLinkTarget(), helper, 5000);
    }

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^cmd: ")));
    QTest::ignoreMessage(QtDebugMsg, "kill proc succ");
    QVERIFY(platform::killStaleHelpers(helper));
    QVERIFY(stale->waitForFinished(5000));
    QTRY_VERIFY_WITH_TIMEOUT(hasEnded(child), 5000);
    QCOMPARE(other->state(), QProcess::Running);
    QVERIFY(!hasEnded(other->processId()));
    if (otherUser)
        QVERIFY(!hasEnded(otherUser->processId()));
    else
        qInfo("not root: another user's helper was not tried");

    // None left: still success, nothing else touched.
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^cmd: ")));
    QTest::ignoreMessage(QtDebugMsg, "kill proc succ");
    QVERIFY(platform::killStaleHelpers(helper));
    QVERIFY(!hasEnded(other->processId()));
}

void TestProcesses::runElevated_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<int>("expected");
    QFile plain(m_dir.filePath(QStringLiteral("plain.txt")));
    plain.open(QIODevice::WriteOnly);
    plain.write("not a program\n");
    plain.close();
    const QString truePath = QStandardPaths::findExecutable(QStringLiteral("true"));
    QTest::newRow("program started") << truePath << m_dir.path() << 42;
    QTest::newRow("no such file") << m_dir.filePath(QStringLiteral("missing")) << m_dir.path() << 2;
    QTest::newRow("a folder") << m_dir.path() << m_dir.path() << 2;
    QTest::newRow("no such working folder") << truePath << m_dir.filePath(QStringLiteral("missing")) << 3;
    QTest::newRow("not executable") << plain.fileName() << m_dir.path() << 11;
}

void TestProcesses::runElevated()
{
    QFETCH(QString, program);
    QFETCH(QString, workDir);
    QFETCH(int, expected);
    QCOMPARE(platform::runElevated(program, workDir), expected);
}

#ifdef Q_OS_LINUX
void TestProcesses::statAndExeText()
{
    using namespace platform::procfs;
    QCOMPARE(parentPid("4242 (a) b (c)) S 17 4242 4242 0 -1"), qint64(17));
    QCOMPARE(processState("4242 (a) b (c)) Z 17 4242 4242 0 -1"), 'Z');
    QCOMPARE(parentPid("garbage"), qint64(-1));
    QCOMPARE(exeBaseName("/opt/zq/clientProxy (deleted)"), QStringLiteral("clientProxy"));
    QCOMPARE(exeBaseName("/opt/zq dir/client Proxy"), QStringLiteral("client Proxy"));
    QCOMPARE(argv0BaseName(QByteArray("/usr/bin/sleep\0"
                                      "30\0",
                 18)),
        QStringLiteral("sleep"));
    QCOMPARE(argv0BaseName(QByteArray()), QString());
    QCOMPARE(socketInode("socket:[12345]"), quint64(12345));
    QCOMPARE(socketInode("pipe:[12345]"), quint64(0));
}
#endif

QTEST_GUILESS_MAIN(TestProcesses)
#include "test_processes.moc"
