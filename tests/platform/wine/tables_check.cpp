// The Qt-free pieces of the Windows platform layer and the codec's Windows MD5, run under a
// Windows environment: table rows of the real Windows types, the live IP Helper tables with a
// listening socket of this process, the firmware table, and the codec's digests.
// Built and run by scripts/wincheck; prints one line per failed check and exits non-zero on any.

#include "payloadcodeccore.h"
#include "systables.h"
#include "tables_win.h"

// Order matters: Winsock 2 before windows.h, windows.h before the rest.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAIL: %s\n", what);
        ++failures;
    }
}

bool contains(const std::vector<std::uint16_t>& ports, std::uint16_t port)
{
    return std::find(ports.begin(), ports.end(), port) != ports.end();
}

void rowsOfWindowsTypes()
{
    using namespace zq::platform::systables;
    MIB_TCPROW2 tcp[3] {};
    tcp[0].dwLocalPort = htons(8080);
    tcp[0].dwOwningPid = 1234;
    tcp[1].dwLocalPort = htons(443);
    tcp[1].dwOwningPid = 0; // TIME_WAIT
    tcp[2].dwLocalPort = htons(1080);
    tcp[2].dwOwningPid = 77;
    std::vector<std::uint16_t> ports;
    appendTcpPorts(tcp, 3, 77, ports);
    check(ports == std::vector<std::uint16_t> { 8080 }, "TCP rows: network byte order, pid 0 and excluded skipped");

    MIB_TCP6ROW2 tcp6 {};
    tcp6.dwLocalPort = htons(65535);
    tcp6.dwOwningPid = 5;
    ports.clear();
    appendTcpPorts(&tcp6, 1, 0, ports);
    check(ports == std::vector<std::uint16_t> { 65535 }, "TCP6 row");

    MIB_UDPROW udp[2] {};
    udp[0].dwLocalPort = htons(0);
    udp[1].dwLocalPort = htons(53);
    ports.clear();
    appendUdpPorts(udp, 2, ports);
    check(ports == std::vector<std::uint16_t> { 53 }, "UDP rows: port 0 skipped");
}

std::uint16_t boundPort(SOCKET s)
{
    sockaddr_in address {};
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Owner of the IPv4 TCP row with local port `port`; -1 when there is none.
long rawTcpOwner(std::uint16_t port)
{
    ULONG size = 0;
    if (GetTcpTable2(nullptr, &size, FALSE) != ERROR_INSUFFICIENT_BUFFER)
        return -1;
    std::vector<std::uint64_t> buffer(size / 8 + 64);
    size = ULONG(buffer.size() * 8);
    auto* table = reinterpret_cast<MIB_TCPTABLE2*>(buffer.data());
    if (GetTcpTable2(table, &size, FALSE) != NO_ERROR)
        return -1;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        if (zq::platform::systables::portFromTableField(table->table[i].dwLocalPort) == port)
            return long(table->table[i].dwOwningPid);
    }
    return -1;
}

void liveTables()
{
    using namespace zq::platform::wintables;
    WSADATA data;
    check(WSAStartup(MAKEWORD(2, 2), &data) == 0, "WSAStartup");
    sockaddr_in loopback {};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    const SOCKET datagram = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    check(bind(listener, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0 && listen(listener, 1) == 0,
        "TCP listener on 127.0.0.1");
    check(bind(datagram, reinterpret_cast<sockaddr*>(&loopback), sizeof loopback) == 0, "UDP socket on 127.0.0.1");
    const std::uint16_t tcpPort = boundPort(listener);
    const std::uint16_t udpPort = boundPort(datagram);

    // The raw table tells who owns the listener: this process on Windows; Wine reports no
    // owner (0) for its sockets, and the owner checks then turn into the orphan check.
    const long owner = rawTcpOwner(tcpPort);
    const std::vector<std::uint16_t> all = tcpPorts(0);
    check(owner >= 0, "the listener is in the raw TCP table");
    check(std::is_sorted(all.begin(), all.end()), "TCP ports ascending");
    if (owner == long(GetCurrentProcessId())) {
        check(contains(all, tcpPort), "the listener's port is in use");
        check(!contains(tcpPorts(GetCurrentProcessId()), tcpPort), "the owner's ports are left out when excluded");
    } else if (owner == 0) {
        check(!contains(all, tcpPort), "ownerless rows are left out");
        std::printf("note: the TCP table names no owner here; the owner exclusion was not exercised\n");
    } else {
        check(false, "the listener's owner is this process");
    }
    const std::vector<std::uint16_t> udp = udpPorts();
    check(contains(udp, udpPort), "the UDP socket's port is in the UDP table");
    check(std::is_sorted(udp.begin(), udp.end()), "UDP ports ascending");

    closesocket(listener);
    closesocket(datagram);
    WSACleanup();
}

void firmware()
{
    const std::vector<unsigned char> table = zq::platform::wintables::smbiosTable();
    const std::string uuid = zq::platform::systables::smbiosSystemUuid(table.data(), table.size());
    // The environment may have no SMBIOS data; when it has, the caller compares the UUID.
    std::printf("firmware-uuid: %s\n", uuid.c_str());
}

void codec()
{
    using namespace zq::codec;
    check(md5Hex("") == "d41d8cd98f00b204e9800998ecf8427e", "MD5 of the empty text");
    check(md5Hex("abc") == "900150983cd24fb0d6963f7d28e17f72", "MD5 of abc");
    check(md5Hex("The quick brown fox jumps over the lazy dog") == "9e107d9d372bb6826bd81d3542a419d6",
        "MD5 of a sentence");
    check(md5Hex(std::string(1000000, 'a')) == "7707d6ae4e027c70eea2a935c2296f21", "MD5 of a million bytes");
    // Computed with Python's hashlib and base64 from the same stamp, salt and key.
    const Codec fixed(kDefaultKey, 1700000000000);
    const std::string expected = "A0woXHFSXE1VaQQJcHVzdHV2d3h5ent8fSMwKiohKiIlJmQ9PTc=";
    check(fixed.encodeWithSalt("{\"a\":1}", "ABCDEFGHIJKLM") == expected, "codec fixed vector");
    check(Codec().decode(expected) == "{\"a\":1}", "codec decodes the fixed vector");
}

} // namespace

int main()
{
    rowsOfWindowsTypes();
    liveTables();
    firmware();
    codec();
    std::printf("%s\n", failures == 0 ? "all checks passed" : "checks failed");
    return failures == 0 ? 0 : 1;
}
