#include "apppaths.h"
#include "foldercopy.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFolderCopy : public QObject {
    Q_OBJECT
private slots:
    void copiesRecursivelyWithoutReplacing();
    void missingOrEmptySourceDoesNothing();
    void configFilledOnlyOnFirstStart();
};

void TestFolderCopy::copiesRecursivelyWithoutReplacing()
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src/"));
    const QString dst = dir.filePath(QStringLiteral("dst/"));
    writeFile(src + "a.txt", "alpha");
    writeFile(src + "empty.txt", "");
    writeFile(src + "sub/deep/b.bin", QByteArray("\x00\x01\x02", 3));
    writeFile(dst + "a.txt", "user changed this");

    FolderCopy::copyFolder(src, dst);
    QCOMPARE(readFile(dst + "a.txt"), QByteArray("user changed this"));
    QCOMPARE(readFile(dst + "sub/deep/b.bin"), QByteArray("\x00\x01\x02", 3));
    QCOMPARE(readFile(dst + "empty.txt"), QByteArray("<missing>")); // empty fingerprint equals a missing one
    QCOMPARE(FolderCopy::fingerprint(src + "a.txt"), QStringLiteral("2c1743a391305fbf367df8e4f069f9f9"));
    QCOMPARE(FolderCopy::fingerprint(src + "empty.txt"), QString());
    QCOMPARE(FolderCopy::fingerprint(src + "nothing"), QString());
}

void TestFolderCopy::missingOrEmptySourceDoesNothing()
{
    QTemporaryDir dir;
    FolderCopy::copyFolder(dir.filePath("nope/"), dir.filePath("out/"));
    QVERIFY(!QDir(dir.filePath("out")).exists());
    QDir().mkpath(dir.filePath("empty"));
    FolderCopy::copyFolder(dir.filePath("empty/"), dir.filePath("out/"));
    QVERIFY(!QDir(dir.filePath("out")).exists());
}

void TestFolderCopy::configFilledOnlyOnFirstStart()
{
    QTemporaryDir install;
    QTemporaryDir documents;
    writeFile(install.filePath("config/proxy.json"), "{}");
    writeFile(install.filePath("TarnDriver/driver.sys"), "drv");

    const AppPaths paths = AppPaths::compute(documents.path());
    paths.prepare(install.path());
    QCOMPARE(readFile(paths.configDir + "/proxy.json"), QByteArray("{}"));
    QVERIFY(QDir(paths.configDir + "/program_image").exists());
    QCOMPARE(readFile(paths.driverDir + "/driver.sys"), QByteArray("drv"));

    // A user who emptied the folder keeps it empty; driver files come back every start.
    QFile::remove(paths.configDir + "/proxy.json");
    QFile::remove(paths.driverDir + "/driver.sys");
    paths.prepare(install.path());
    QVERIFY(!QFile::exists(paths.configDir + "/proxy.json"));
    QCOMPARE(readFile(paths.driverDir + "/driver.sys"), QByteArray("drv"));
}

QTEST_GUILESS_MAIN(TestFolderCopy)
#include "test_foldercopy.moc"
