#pragma once
// The seam between catalogue requests and the request layer: a form as ordered name/value pairs.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>

namespace zq::catalogue {

// Fields in the order they go on the wire; a name may repeat.
using FormFields = QList<QPair<QString, QByteArray>>;

// Sends one multipart POST; type is the routing tag appended to the reply name.
using Poster = std::function<void(const QString& url, const FormFields& fields, const QString& type)>;

} // namespace zq::catalogue
