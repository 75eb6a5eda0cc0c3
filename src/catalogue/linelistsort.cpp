#include "linelistsort.h"

#include "proxyserverinfo.h"

#include <algorithm>
#include <functional>

namespace zq::catalogue {

namespace {

using Less = std::function<bool(const ProxyServerInfo*, const ProxyServerInfo*)>;

Less lessFor(const QString& orderBy)
{
    if (orderBy == QLatin1String("IP"))
        return [](const ProxyServerInfo* a, const ProxyServerInfo* b) { return a->getIp() < b->getIp(); };
    if (orderBy == QLatin1String("ID"))
        return [](const ProxyServerInfo* a, const ProxyServerInfo* b) { return a->getId() > b->getId(); };
    if (orderBy == QLatin1String("BindTime"))
        return [](const ProxyServerInfo* a, const ProxyServerInfo* b) { return a->getBindTime() > b->getBindTime(); };
    return {};
}

} // namespace

bool sortLines(QList<QObject*>& list, const QString& orderBy)
{
    const Less less = lessFor(orderBy);
    if (!less)
        return false;
    // Foreign entries sort after every record and tie among themselves: a strict weak order,
    // which std::sort needs to stay inside the list.
    std::sort(list.begin(), list.end(), [&less](QObject* a, QObject* b) {
        const auto* ra = qobject_cast<ProxyServerInfo*>(a);
        const auto* rb = qobject_cast<ProxyServerInfo*>(b);
        if (!ra || !rb)
            return ra && !rb;
        return less(ra, rb);
    });
    return true;
}

} // namespace zq::catalogue
