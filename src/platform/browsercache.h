#pragma once
// Emptying the disk caches of the browsers that run through the per-program proxy: a browser
// is touched only when asked for and its executable is in the program list; its processes are
// killed first, then its cache folders are removed.

#include <QList>
#include <QString>
#include <QStringList>

namespace zq::platform {

enum class Browser { Chrome, Firefox, InternetExplorer, Edge };

struct BrowserCache {
    Browser browser;
    QString executable;
    // Cache folders under the home folder; empty where the browser keeps none on this system.
    QStringList folders;
};

// The four browsers in the order Chrome, Firefox, Internet Explorer, Edge, with their cache
// folders under home. Firefox's is the "cache2" folder of each profile folder whose name holds
// "release"; with none there is no Firefox cache folder.
QList<BrowserCache> browserCaches(const QString& home);

// Deletes a folder tree. Empty path: false; a missing folder: true; otherwise whether the
// folder itself was removed at the end. Links are removed, never followed.
bool removeFolder(const QString& path);

// Kills and clears each flagged browser whose executable is in programNames (exact match).
// Always true: missing folders and processes are no failure.
bool clearBrowserCache(
    const QString& home, const QStringList& programNames, bool chrome, bool firefox, bool ie, bool edge);

} // namespace zq::platform
