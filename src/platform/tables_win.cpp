// IP Helper tables and the firmware table, read with the two-call pattern: the first call
// tells the size, the second fills the buffer.

#include "tables_win.h"
#include "systables.h"

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // Windows 7: GetTcpTable2 and its IPv6 sibling
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// Order matters: Winsock 2 before windows.h, windows.h before the rest.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <algorithm>

namespace zq::platform::wintables {

namespace {

// Storage aligned for the table structures.
using Buffer = std::vector<std::uint64_t>;

// Fills buffer through call(table, &size); false when the call fails. A table that grows between
// the two calls gets a few more tries.
template <typename Table, typename Call> bool readTable(Buffer& buffer, Call call)
{
    ULONG size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        Table* table = buffer.empty() ? nullptr : reinterpret_cast<Table*>(buffer.data());
        const ULONG result = call(table, &size);
        if (result == NO_ERROR)
            return table != nullptr;
        if (result != ERROR_INSUFFICIENT_BUFFER || size == 0)
            return false;
        buffer.assign((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    }
    return false;
}

} // namespace

std::vector<std::uint16_t> tcpPorts(std::int64_t excludedPid)
{
    std::vector<std::uint16_t> ports;
    Buffer buffer;
    if (readTable<MIB_TCPTABLE2>(buffer, [](MIB_TCPTABLE2* t, ULONG* size) { return GetTcpTable2(t, size, FALSE); })) {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE2*>(buffer.data());
        systables::appendTcpPorts(table->table, table->dwNumEntries, excludedPid, ports);
    }
    buffer.clear();
    if (readTable<MIB_TCP6TABLE2>(
            buffer, [](MIB_TCP6TABLE2* t, ULONG* size) { return GetTcp6Table2(t, size, FALSE); })) {
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE2*>(buffer.data());
        systables::appendTcpPorts(table->table, table->dwNumEntries, excludedPid, ports);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::vector<std::uint16_t> udpPorts()
{
    std::vector<std::uint16_t> ports;
    Buffer buffer;
    if (readTable<MIB_UDPTABLE>(buffer, [](MIB_UDPTABLE* t, ULONG* size) { return GetUdpTable(t, size, FALSE); })) {
        const auto* table = reinterpret_cast<const MIB_UDPTABLE*>(buffer.data());
        systables::appendUdpPorts(table->table, table->dwNumEntries, ports);
    }
    buffer.clear();
    if (readTable<MIB_UDP6TABLE>(buffer, [](MIB_UDP6TABLE* t, ULONG* size) { return GetUdp6Table(t, size, FALSE); })) {
        const auto* table = reinterpret_cast<const MIB_UDP6TABLE*>(buffer.data());
        systables::appendUdpPorts(table->table, table->dwNumEntries, ports);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::vector<unsigned char> smbiosTable()
{
    constexpr DWORD kRawSmbios = 0x52534D42; // 'RSMB'
    const UINT size = GetSystemFirmwareTable(kRawSmbios, 0, nullptr, 0);
    if (size == 0)
        return {};
    std::vector<unsigned char> table(size);
    const UINT written = GetSystemFirmwareTable(kRawSmbios, 0, table.data(), size);
    if (written == 0 || written > size)
        return {};
    table.resize(written);
    return table;
}

} // namespace zq::platform::wintables
