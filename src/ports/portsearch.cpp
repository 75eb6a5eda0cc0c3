#include "portsearch.h"

#include "platform.h"

#include <algorithm>
#include <vector>

namespace zq::ports {

int firstFreePort(const QList<quint16>& sortedInUse, int from, int to)
{
    from = std::max(from, 1);
    to = std::min(to, 65536);
    if (from >= to)
        return 0;

    // The held ports from `from` on, without duplicates: held[k] >= from + k, and the run
    // from, from + 1, ... is held exactly as long as held[k] == from + k.
    std::vector<int> held;
    held.reserve(static_cast<size_t>(sortedInUse.size()));
    for (auto it = std::lower_bound(sortedInUse.begin(), sortedInUse.end(), from); it != sortedInUse.end(); ++it) {
        if (held.empty() || held.back() != *it)
            held.push_back(*it);
    }
    size_t lo = 0;
    size_t hi = held.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (held[mid] == from + int(mid))
            lo = mid + 1;
        else
            hi = mid;
    }
    const int port = from + int(lo);
    return port < to ? port : 0;
}

namespace {
int searchShifted(const QList<quint16>& inUse, int low, int high)
{
    const int shift = zq::platform::lowPortShift(low);
    return firstFreePort(inUse, low + shift, high + shift);
}
} // namespace

int firstFreeTcpPort(int low, int high)
{
    return searchShifted(zq::platform::tcpPortsInUse(0), low, high);
}

int firstFreeUdpPort(int low, int high)
{
    return searchShifted(zq::platform::udpPortsInUse(), low, high);
}

} // namespace zq::ports
