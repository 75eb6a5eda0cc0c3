#pragma once
// Search for a port no other program holds, in a half-open range [from, to).

#include <QList>

namespace zq::ports {

// Smallest port p with from <= p < to that is not in sortedInUse (ascending, duplicates
// allowed); 0 when every port of the range is held or the range is empty. Only ports 1 to 65535
// are ever returned.
int firstFreePort(const QList<quint16>& sortedInUse, int from, int to);

// The same over the system's TCP (UDP) ports in use. A range starting below the ports this
// process may bind is moved up by zq::platform::lowPortShift(low) as a whole.
int firstFreeTcpPort(int low, int high);
int firstFreeUdpPort(int low, int high);

} // namespace zq::ports
