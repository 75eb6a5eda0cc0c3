#include "logmask.h"

#include <QJsonArray>

namespace zq::logmask {

namespace {

QJsonValue maskedValue(const QJsonValue& value);

QJsonArray maskedArray(const QJsonArray& array)
{
    QJsonArray out;
    for (const QJsonValue& item : array)
        out.append(maskedValue(item));
    return out;
}

QJsonValue maskedValue(const QJsonValue& value)
{
    if (value.isObject())
        return maskedJson(value.toObject());
    if (value.isArray())
        return maskedArray(value.toArray());
    return value;
}

} // namespace

bool isSecretField(const QString& name)
{
    return name.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("pwd"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("passwd"), Qt::CaseInsensitive) == 0;
}

QString masked(const QString& secret)
{
    return QString(secret.size(), QLatin1Char('*'));
}

QJsonObject maskedJson(const QJsonObject& object)
{
    QJsonObject out;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (isSecretField(it.key()) && it->isString())
            out.insert(it.key(), masked(it->toString()));
        else if (isSecretField(it.key()) && !it->isNull())
            out.insert(it.key(), QStringLiteral("***"));
        else
            out.insert(it.key(), maskedValue(it.value()));
    }
    return out;
}

} // namespace zq::logmask
