#pragma once
// Icon URLs written in QML ("qrc:/image/x.ico", ":/image/x.ico", "file:///...") as icon paths.

#include <QString>
#include <QUrl>

// Local file path, else the URL text with a leading "qrc" dropped so it names a resource.
QString iconPathFromUrl(const QUrl& url);
