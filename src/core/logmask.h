#pragma once
// Keeps the account's password out of the log: the password itself and its codec text ("pwd"),
// which any copy of the client can decode, are shown as runs of '*' of the same length.

#include <QJsonObject>
#include <QString>

namespace zq::logmask {

// Whether a form or JSON field of this name holds the password or its codec text.
bool isSecretField(const QString& name);

// The secret as the log shows it.
QString masked(const QString& secret);

// A copy with the value of every secret field masked, at any depth.
QJsonObject maskedJson(const QJsonObject& object);

} // namespace zq::logmask
