#pragma once
// The IP Helper and firmware queries of the Windows side, without Qt, so that a small program
// built for Windows can run them on their own.

#include <cstdint>
#include <vector>

namespace zq::platform::wintables {

// Local ports of the TCP tables (IPv4 GetTcpTable2, IPv6 GetTcp6Table2), ascending, duplicates
// kept; rows owned by process 0 or excludedPid left out. A failed query contributes nothing.
std::vector<std::uint16_t> tcpPorts(std::int64_t excludedPid);

// Local ports of the UDP tables (GetUdpTable, GetUdp6Table) bound to a port, ascending.
std::vector<std::uint16_t> udpPorts();

// The raw SMBIOS table (GetSystemFirmwareTable with 'RSMB'); empty when it cannot be read.
std::vector<unsigned char> smbiosTable();

} // namespace zq::platform::wintables
