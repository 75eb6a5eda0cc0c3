#include "systables.h"

namespace zq::platform::systables {

namespace {

constexpr std::size_t kRawHeaderSize = 8; // calling method, major, minor, DMI revision, length
constexpr unsigned char kSystemInformation = 1;
constexpr unsigned char kEndOfTable = 127;
constexpr std::size_t kUuidOffset = 8;
constexpr std::size_t kUuidEnd = kUuidOffset + 16; // a type 1 structure of SMBIOS 2.1 or later

std::string formatUuid(const unsigned char* b)
{
    // Byte order of the printed form: the first three fields are stored little-endian.
    static constexpr int order[16] = { 3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15 };
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        out += hex[b[order[i]] >> 4];
        out += hex[b[order[i]] & 0x0F];
    }
    return out;
}

} // namespace

std::string smbiosSystemUuid(const unsigned char* data, std::size_t size)
{
    if (!data || size < kRawHeaderSize)
        return {};
    const std::size_t declared
        = std::size_t(data[4]) | std::size_t(data[5]) << 8 | std::size_t(data[6]) << 16 | std::size_t(data[7]) << 24;
    const unsigned char* table = data + kRawHeaderSize;
    const std::size_t length = declared < size - kRawHeaderSize ? declared : size - kRawHeaderSize;

    std::size_t pos = 0;
    while (pos + 4 <= length) {
        const unsigned char type = table[pos];
        const std::size_t formatted = table[pos + 1];
        if (formatted < 4 || pos + formatted > length)
            break; // a broken structure: nothing after it can be trusted
        if (type == kSystemInformation && formatted >= kUuidEnd)
            return formatUuid(table + pos + kUuidOffset);
        if (type == kEndOfTable)
            break;
        // The strings follow the formatted part and end with two NUL bytes.
        std::size_t next = pos + formatted;
        while (next + 1 < length && (table[next] != 0 || table[next + 1] != 0))
            ++next;
        pos = next + 2;
    }
    return {};
}

std::string wmicUuidLine(const std::string& uuid)
{
    return uuid + "  \r\r";
}

} // namespace zq::platform::systables
