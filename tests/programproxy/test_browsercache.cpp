// Browser cache clearing in a fake home folder: a real process of the listed name is killed
// and its cache goes; browsers not asked for, not in the program list or in other letter case
// are left alone; only cache folders are ever removed.
#include "browsercache.h"
#include "platform.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace zq::platform;

namespace {

void writeFile(const QString& path, const QByteArray& content = "x")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

const QString kChrome = QStringLiteral("/.cache/google-chrome/Default/Cache/Cache_Data");
const QString kFirefox = QStringLiteral("/.cache/mozilla/firefox");
const QString kEdge = QStringLiteral("/.cache/microsoft-edge/Default/Cache/Cache_Data");

// A fake home with all three caches filled, and a profile beside Firefox's cache folders.
void fillHome(const QString& home)
{
    writeFile(home + kChrome + "/data_0");
    writeFile(home + kChrome + "/deeper/f_000001");
    writeFile(home + kFirefox + "/ab12.default-release/cache2/entries/E1");
    writeFile(home + kFirefox + "/ab12.default-release/startupCache/keep");
    writeFile(home + kFirefox + "/cd34.default/cache2/entries/E2");
    writeFile(home + kEdge + "/data_1");
}

} // namespace

class TestBrowserCache : public QObject {
    Q_OBJECT
private slots:
    void killsTheListedBrowserAndClearsItsCache();
    void nothingTouchedWithoutTheNameInTheList();
    void firefoxProfiles();
    void folderRemoval();
};

void TestBrowserCache::killsTheListedBrowserAndClearsItsCache()
{
    if (!processIdsByName("chrome").isEmpty())
        QSKIP("a browser named chrome runs on this machine; it is not ours to kill");
    QTemporaryDir home, bin;
    fillHome(home.path());
    // A real process whose executable is named like the browser.
    const QString fake = bin.filePath("chrome");
    QVERIFY(QFile::copy(QStringLiteral("/bin/sleep"), fake));
    QProcess browser;
    browser.start(fake, { "30" });
    QVERIFY(browser.waitForStarted(5000));
    QTRY_COMPARE(processIdsByName("chrome"), QList<qint64>({ browser.processId() }));

    QVERIFY(clearBrowserCache(home.path(), { "chrome", "firefox" }, true, true, true, true));
    QVERIFY(browser.waitForFinished(5000));
    QCOMPARE(browser.exitStatus(), QProcess::CrashExit);
    QVERIFY(!QDir(home.path() + kChrome).exists());
    QVERIFY(QDir(home.path() + "/.cache/google-chrome/Default/Cache").exists());
    QVERIFY(!QDir(home.path() + kFirefox + "/ab12.default-release/cache2").exists());
    QVERIFY(QFile::exists(home.path() + kFirefox + "/ab12.default-release/startupCache/keep"));
    QVERIFY(QFile::exists(home.path() + kFirefox + "/cd34.default/cache2/entries/E2"));
    QVERIFY(QFile::exists(home.path() + kEdge + "/data_1")); // edge is not in the list
}

void TestBrowserCache::nothingTouchedWithoutTheNameInTheList()
{
    QTemporaryDir home;
    fillHome(home.path());
    QVERIFY(clearBrowserCache(home.path(), {}, true, true, true, true));
    QVERIFY(clearBrowserCache(home.path(), { "Chrome", "FIREFOX", "msedge.exe" }, true, true, true, true));
    QVERIFY(clearBrowserCache(home.path(), { "chrome", "firefox", "msedge" }, false, false, false, false));
    QVERIFY(QFile::exists(home.path() + kChrome + "/data_0"));
    QVERIFY(QFile::exists(home.path() + kFirefox + "/ab12.default-release/cache2/entries/E1"));
    QVERIFY(QFile::exists(home.path() + kEdge + "/data_1"));
}

void TestBrowserCache::firefoxProfiles()
{
    QTemporaryDir home;
    const QString profiles = home.path() + kFirefox;
    auto firefoxFolders = [&home]() { return browserCaches(home.path()).at(1).folders; };
    QVERIFY(firefoxFolders().isEmpty()); // no profiles folder at all

    // No profile named "release": no path at all, so nothing in the profiles folder can go.
    writeFile(profiles + "/cd34.default/cache2/E");
    writeFile(profiles + "/release-notes.txt");
    QVERIFY(firefoxFolders().isEmpty());
    QVERIFY(clearBrowserCache(home.path(), { "firefox" }, false, true, false, false));
    QVERIFY(QFile::exists(profiles + "/cd34.default/cache2/E"));
    QVERIFY(QFile::exists(profiles + "/release-notes.txt"));

    // Several: each one's cache2, and only that.
    writeFile(profiles + "/a.default-release/cache2/E");
    writeFile(profiles + "/a.default-release/prefs.js");
    writeFile(profiles + "/b.dev-release/cache2/E");
    QCOMPARE(
        firefoxFolders(), QStringList({ profiles + "/a.default-release/cache2", profiles + "/b.dev-release/cache2" }));
    QVERIFY(clearBrowserCache(home.path(), { "firefox" }, false, true, false, false));
    QVERIFY(!QDir(profiles + "/a.default-release/cache2").exists());
    QVERIFY(!QDir(profiles + "/b.dev-release/cache2").exists());
    QVERIFY(QFile::exists(profiles + "/a.default-release/prefs.js"));
    QVERIFY(QFile::exists(profiles + "/cd34.default/cache2/E"));
}

void TestBrowserCache::folderRemoval()
{
    QTemporaryDir dir, outside;
    QVERIFY(!removeFolder(QString()));
    QVERIFY(removeFolder(dir.filePath("missing")));
    writeFile(dir.filePath("tree/a/b/c.txt"));
    writeFile(dir.filePath("tree/.hidden"));
    writeFile(outside.filePath("precious"));
    // A link inside the cache to a folder elsewhere: the link goes, the folder stays whole.
    QVERIFY(QFile::link(outside.path(), dir.filePath("tree/a/link")));
    QVERIFY(removeFolder(dir.filePath("tree")));
    QVERIFY(!QFileInfo::exists(dir.filePath("tree")));
    QVERIFY(QFile::exists(outside.filePath("precious")));
}

QTEST_GUILESS_MAIN(TestBrowserCache)
#include "test_browsercache.moc"
