#include "iconurl.h"

QString iconPathFromUrl(const QUrl& url)
{
    QString path = url.toLocalFile();
    // ":/image/x.ico" is no valid URL to QUrl, yet it keeps the text as its path.
    if (path.isEmpty())
        path = url.isValid() ? url.toString() : url.path();
    if (path.startsWith(QLatin1String("qrc")))
        path.remove(0, 3);
    // The same resource path written in QML arrives resolved against the QML file's address
    // ("qrc:/:/image/x.ico", "file:///dir/:/image/x.ico"); the resource path is what follows.
    const int resource = path.indexOf(QLatin1String("/:/"));
    if (resource >= 0)
        path.remove(0, resource + 1);
    return path;
}
