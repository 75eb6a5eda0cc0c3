#pragma once
// Filtering a today list locally, and the bind-type suggestions of the search bar.

#include <QList>
#include <QString>
#include <QStringList>

class QObject;

namespace zq::lists {

struct TodayFilter {
    QString countryName;
    QString stateName;
    QString cityName;
    QString bindType;
    QString startIp;
    QString endIp;
};

// Dotted addresses compared part by part as numbers (a part that is not a number is 0); only
// parts both addresses have are compared, and a shorter address that agrees so far is smaller.
int compareIp(const QString& a, const QString& b);

// The records of list that match every given filter, in list order (the range is exclusive).
QList<QObject*> searchToday(const QList<QObject*>& list, const TodayFilter& filter);

// "API" and "Manual", those whose name contains text (any case).
QStringList searchBindType(const QString& text);

} // namespace zq::lists
