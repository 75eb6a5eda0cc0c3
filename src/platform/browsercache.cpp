#include "browsercache.h"

#include "platform.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zq::platform {

namespace {

const auto kEntries = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

#ifdef Q_OS_WIN
const char* const kChromeExe = "chrome.exe";
const char* const kFirefoxExe = "firefox.exe";
const char* const kIeExe = "iexplore.exe";
const char* const kEdgeExe = "msedge.exe";
const QString kChromeCache = QStringLiteral("//AppData//Local//Google//Chrome//User Data//Default//Cache//Cache_Data");
const QString kFirefoxProfiles = QStringLiteral("//AppData//Local//Mozilla//Firefox//Profiles");
const QString kIeCache = QStringLiteral("//AppData//Local//Microsoft//Windows//INetCache");
const QString kEdgeCache
    = QStringLiteral("//AppData//Local//Packages//Microsoft.MicrosoftEdge_8//AC//#\uFF01001//MicrosoftEdge//Cache");
const QString kSeparator = QStringLiteral("//");
#else
// The browsers' own cache folders under the home folder; there is no Internet Explorer here.
const char* const kChromeExe = "chrome";
const char* const kFirefoxExe = "firefox";
const char* const kIeExe = "iexplore";
const char* const kEdgeExe = "msedge";
const QString kChromeCache = QStringLiteral("/.cache/google-chrome/Default/Cache/Cache_Data");
const QString kFirefoxProfiles = QStringLiteral("/.cache/mozilla/firefox");
const QString kIeCache;
const QString kEdgeCache = QStringLiteral("/.cache/microsoft-edge/Default/Cache/Cache_Data");
const QString kSeparator = QStringLiteral("/");
#endif

QStringList firefoxCaches(const QString& home)
{
    const QString profiles = home + kFirefoxProfiles;
    QStringList caches;
    for (const QFileInfo& entry : QDir(profiles).entryInfoList(kEntries, QDir::Name)) {
        // A link is not a profile of this folder; what it points at is left alone.
        if (entry.isFile() || entry.isSymLink() || !entry.fileName().contains(QLatin1String("release")))
            continue;
        caches.append(profiles + kSeparator + entry.fileName() + kSeparator + QStringLiteral("cache2"));
    }
    if (caches.size() > 1)
        qDebug() << "several release profiles; each one's cache is cleared:" << caches;
    return caches;
}

QStringList underHome(const QString& home, const QString& folder)
{
    return folder.isEmpty() ? QStringList() : QStringList { home + folder };
}

} // namespace

QList<BrowserCache> browserCaches(const QString& home)
{
    return {
        { Browser::Chrome, QString::fromLatin1(kChromeExe), underHome(home, kChromeCache) },
        { Browser::Firefox, QString::fromLatin1(kFirefoxExe), firefoxCaches(home) },
        { Browser::InternetExplorer, QString::fromLatin1(kIeExe), underHome(home, kIeCache) },
        { Browser::Edge, QString::fromLatin1(kEdgeExe), underHome(home, kEdgeCache) },
    };
}

bool removeFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo folder(path);
    if (folder.isSymLink())
        return QFile::remove(path);
    QDir dir(path);
    if (!dir.exists())
        return true;
    for (const QFileInfo& entry : dir.entryInfoList(kEntries)) {
        if (entry.isDir() && !entry.isSymLink())
            removeFolder(entry.absoluteFilePath());
        else
            QFile::remove(entry.absoluteFilePath());
    }
    return dir.rmdir(dir.absolutePath());
}

bool clearBrowserCache(
    const QString& home, const QStringList& programNames, bool chrome, bool firefox, bool ie, bool edge)
{
    qDebug() << "clear_browser_cache-->:" << chrome << firefox << ie << edge << programNames;
    const bool wanted[] = { chrome, firefox, ie, edge };
    const QList<BrowserCache> caches = browserCaches(home);
    for (int i = 0; i < caches.size(); ++i) {
        const BrowserCache& cache = caches[i];
        if (!wanted[i] || !programNames.contains(cache.executable))
            continue;
        killProcessTree(cache.executable);
        for (const QString& folder : cache.folders)
            removeFolder(folder);
    }
    return true;
}

} // namespace zq::platform
