#pragma once
// Reading what Windows hands back in its IP Helper tables and firmware tables. Plain C++ without
// Qt or system headers, so that the same code runs in the Linux tests and in small programs
// built for Windows; the row types are the system's (or look-alikes with the same field names).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zq::platform::systables {

// Port of an IP Helper row's dwLocalPort field: the port in network byte order in the low 16
// bits of the value (Windows runs little-endian only).
constexpr std::uint16_t portFromTableField(std::uint32_t field)
{
    return static_cast<std::uint16_t>(((field & 0xFFu) << 8) | ((field >> 8) & 0xFFu));
}

// Appends the local port of every TCP row (MIB_TCPROW2, MIB_TCP6ROW2) owned by a process other
// than 0 (TIME_WAIT and other orphans) and excludedPid.
template <typename Row>
void appendTcpPorts(const Row* rows, std::size_t count, std::int64_t excludedPid, std::vector<std::uint16_t>& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t owner = rows[i].dwOwningPid;
        if (owner != 0 && owner != excludedPid)
            out.push_back(portFromTableField(rows[i].dwLocalPort));
    }
}

// Appends the local port of every UDP row (MIB_UDPROW, MIB_UDP6ROW) bound to a port.
template <typename Row> void appendUdpPorts(const Row* rows, std::size_t count, std::vector<std::uint16_t>& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t port = portFromTableField(rows[i].dwLocalPort);
        if (port != 0)
            out.push_back(port);
    }
}

// The system UUID of the SMBIOS System Information structure (type 1) in a raw firmware table as
// GetSystemFirmwareTable('RSMB') returns it (an 8-byte header with the table length, then the
// structures). Upper-case hex in the 8-4-4-4-12 form, the first three fields little-endian, as
// the system's management tools print it. Empty when the blob is cut short or holds no UUID.
std::string smbiosSystemUuid(const unsigned char* data, std::size_t size);

// A value line of "wmic csproduct get UUID" as the client reads it (after the split at "\n"):
// the UUID, the two blanks of the column padding and the two carriage returns of wmic's line end.
std::string wmicUuidLine(const std::string& uuid);

} // namespace zq::platform::systables
