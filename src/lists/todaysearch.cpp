#include "todaysearch.h"

#include "proxyserverinfo.h"

#include <QVector>

namespace zq::lists {

int compareIp(const QString& a, const QString& b)
{
    const QVector<QStringRef> left = a.splitRef(QLatin1Char('.'));
    const QVector<QStringRef> right = b.splitRef(QLatin1Char('.'));
    const int common = std::min(left.size(), right.size());
    for (int i = 0; i < common; ++i) {
        const qlonglong l = left.at(i).toLongLong();
        const qlonglong r = right.at(i).toLongLong();
        if (l != r)
            return l < r ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

QList<QObject*> searchToday(const QList<QObject*>& list, const TodayFilter& filter)
{
    QList<QObject*> out;
    for (QObject* object : list) {
        const auto* line = qobject_cast<ProxyServerInfo*>(object);
        if (!line)
            continue;
        if ((!filter.countryName.isEmpty() && filter.countryName != line->getCountry())
            || (!filter.stateName.isEmpty() && filter.stateName != line->getState())
            || (!filter.cityName.isEmpty() && filter.cityName != line->getCity())
            || (!filter.bindType.isEmpty() && filter.bindType != line->getBindType())
            || (!filter.startIp.isEmpty() && compareIp(line->getIp(), filter.startIp) <= 0)
            || (!filter.endIp.isEmpty() && compareIp(line->getIp(), filter.endIp) >= 0))
            continue;
        out.append(object);
    }
    return out;
}

QStringList searchBindType(const QString& text)
{
    QStringList out;
    for (const QString& type : { QStringLiteral("API"), QStringLiteral("Manual") }) {
        if (type.contains(text, Qt::CaseInsensitive))
            out.append(type);
    }
    return out;
}

} // namespace zq::lists
