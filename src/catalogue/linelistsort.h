#pragma once
// In-place ordering of line lists by IP text, id or bind time.

#include <QList>
#include <QString>

class QObject;

namespace zq::catalogue {

// orderBy: "IP" (ascending, text order), "ID" (descending), "BindTime" (descending, latest first).
// Entries that are not line records go last. Returns false for an unknown key (list untouched).
bool sortLines(QList<QObject*>& list, const QString& orderBy);

} // namespace zq::catalogue
