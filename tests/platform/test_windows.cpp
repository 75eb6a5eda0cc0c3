// What the Windows side reads from its tables and commands and what it tells them, checked on
// recorded shapes: IP Helper rows, SMBIOS blobs, wmic output, taskkill lines, shell results.

#include "machineidentity.h"
#include "platform.h"
#include "shelltext.h"
#include "systables.h"

#include <QtTest>

#include <string>
#include <vector>

using namespace zq::platform;

// Look-alikes of MIB_TCPROW2 and MIB_UDPROW: the fields the readers use, same names and widths.
struct TcpRow {
    quint32 dwLocalPort;
    quint32 dwOwningPid;
};
struct UdpRow {
    quint32 dwLocalPort;
};

class TestWindows : public QObject {
    Q_OBJECT

private slots:
    void tableRowsToPorts();
    void smbiosUuid_data();
    void smbiosUuid();
    void wmicAndFirmwareGiveOneUnionId();
    void taskkill();
    void shellResults();
};

namespace {

// dwLocalPort as Windows fills it: the port's two bytes in network order at the lowest address.
quint32 field(quint16 port, quint16 upperGarbage = 0)
{
    return quint32(upperGarbage) << 16 | quint32(port & 0xFF) << 8 | quint32(port >> 8);
}

using Bytes = std::vector<unsigned char>;

// A raw SMBIOS blob: the 8-byte header with the table length, then the structures.
Bytes rawTable(const Bytes& structures, std::size_t declaredLength)
{
    Bytes blob { 0, 3, 4, 0 };
    for (int shift = 0; shift < 32; shift += 8)
        blob.push_back(static_cast<unsigned char>(declaredLength >> shift));
    blob.insert(blob.end(), structures.begin(), structures.end());
    return blob;
}

Bytes rawTable(const Bytes& structures)
{
    return rawTable(structures, structures.size());
}

const Bytes kUuidBytes
    = { 0x44, 0x45, 0x4C, 0x4C, 0x42, 0x00, 0x10, 0x35, 0x80, 0x52, 0xB4, 0xC0, 0x4F, 0x4E, 0x4D, 0x32 };
const char kUuidText[] = "4C4C4544-0042-3510-8052-B4C04F4E4D32";

// A type 1 structure of `length` formatted bytes with the UUID at offset 8, then its strings.
Bytes systemInformation(unsigned char length, const Bytes& strings)
{
    Bytes s { 1, length, 0x01, 0x00, 1, 2, 3, 0 };
    s.insert(s.end(), kUuidBytes.begin(), kUuidBytes.end());
    s.resize(length, 0);
    s.insert(s.end(), strings.begin(), strings.end());
    return s;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kBios = { 0, 0x18, 0x00, 0x00, 1, 2, 0, 0xF0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'V', 'e', 'n',
    'd', 'o', 'r', 0, '1', '.', '2', 0, 0 };
const Bytes kSystemStrings = { 'M', 'a', 'k', 'e', 'r', 0, 'B', 'o', 'x', 0, 0 };
const Bytes kEnd = { 127, 4, 0xFF, 0xFE, 0, 0 };

} // namespace

void TestWindows::tableRowsToPorts()
{
    using namespace systables;
    for (int port : { 1, 255, 256, 1080, 8080, 65535 })
        QCOMPARE(int(portFromTableField(field(quint16(port)))), port);
    QCOMPARE(int(portFromTableField(field(8080, 0xABCD))), 8080); // the upper half is not the port

    const TcpRow tcp[]
        = { { field(8080), 1234 }, { field(443), 0 }, { field(1080), 77 }, { field(8080), 1234 }, { field(1000), 5 } };
    std::vector<std::uint16_t> ports;
    appendTcpPorts(tcp, 5, 77, ports);
    QCOMPARE(ports, (std::vector<std::uint16_t> { 8080, 8080, 1000 })); // TIME_WAIT and pid 77 out, duplicates kept
    ports.clear();
    appendTcpPorts(tcp, 5, 0, ports);
    QCOMPARE(ports, (std::vector<std::uint16_t> { 8080, 1080, 8080, 1000 })); // only the ownerless row out

    const UdpRow udp[] = { { field(0) }, { field(53) }, { field(0, 0x1234) }, { field(5353) } };
    ports.clear();
    appendUdpPorts(udp, 4, ports);
    QCOMPARE(ports, (std::vector<std::uint16_t> { 53, 5353 }));
}

void TestWindows::smbiosUuid_data()
{
    QTest::addColumn<QByteArray>("blob");
    QTest::addColumn<QString>("uuid");
    const auto row = [](const char* name, const Bytes& blob, const QString& uuid) {
        QTest::newRow(name) << QByteArray(reinterpret_cast<const char*>(blob.data()), int(blob.size())) << uuid;
    };
    const QString uuid = QString::fromLatin1(kUuidText);
    const Bytes full = concat({ kBios, systemInformation(0x1B, kSystemStrings), kEnd });
    row("after a BIOS structure with strings", rawTable(full), uuid);
    row("first structure, no strings", rawTable(concat({ systemInformation(0x19, { 0, 0 }), kEnd })), uuid);
    row("blob longer than the declared table", concat({ rawTable(full), Bytes(64, 0xAA) }), uuid);
    row("SMBIOS 2.0 structure without a UUID", rawTable(concat({ systemInformation(0x08, kSystemStrings), kEnd })),
        QString());
    row("end of table before it", rawTable(concat({ kEnd, systemInformation(0x19, { 0, 0 }) })), QString());
    row("declared length cuts it", rawTable(full, kBios.size() + 10), QString());
    const Bytes whole = rawTable(full);
    row("blob cut inside it", Bytes(whole.begin(), whole.begin() + 8 + kBios.size() + 12), QString());
    row("broken structure length", rawTable(concat({ Bytes { 0, 2, 0, 0, 0, 0 }, systemInformation(0x19, { 0, 0 }) })),
        QString());
    row("strings never end", rawTable(concat({ Bytes { 0, 4, 0, 0, 'a', 'b' } })), QString());
    row("header only", rawTable({}), QString());
    row("shorter than the header", Bytes { 0, 3, 4 }, QString());
}

void TestWindows::smbiosUuid()
{
    QFETCH(QByteArray, blob);
    QFETCH(QString, uuid);
    const auto* data = reinterpret_cast<const unsigned char*>(blob.constData());
    QCOMPARE(QString::fromStdString(systables::smbiosSystemUuid(data, std::size_t(blob.size()))), uuid);
}

void TestWindows::wmicAndFirmwareGiveOneUnionId()
{
    using namespace shelltext;
    const QString uuid = QString::fromLatin1(kUuidText);
    const QString mac = QStringLiteral("00:1A:2B:3C:4D:5E");
    // "wmic csproduct get UUID" through a pipe: a padded header, the value, wmic's "\r\r\n" ends.
    const QString output = QStringLiteral("UUID") + QString(34, QLatin1Char(' ')) + QStringLiteral("\r\r\n") + uuid
        + QStringLiteral("  \r\r\n\r\r\n");
    const QString fromWmic = uuidFromWmicOutput(output);
    QCOMPARE(fromWmic, uuid + QStringLiteral("  \r\r")); // kept as it stands
    QCOMPARE(QString::fromStdString(systables::wmicUuidLine(uuid.toStdString())), fromWmic);

    // Without wmic the firmware's UUID stands in, and the union id does not change.
    const QString viaWmic = machineUuidText(fromWmic, uuid);
    const QString viaFirmware = machineUuidText(QString(), uuid);
    QCOMPARE(viaWmic, fromWmic);
    QCOMPARE(unionId(viaFirmware, mac), unionId(viaWmic, mac));
    QCOMPARE(machineUuidText(uuidFromWmicOutput(QStringLiteral("UUID  \r\r\n\r\r\n\r\r\n")), uuid), fromWmic);
    QCOMPARE(machineUuidText(QString(), QString()), QString());

    QCOMPARE(uuidFromWmicOutput(QString()), QString());
    QCOMPARE(uuidFromWmicOutput(QStringLiteral("no line break UUID")), QStringLiteral("no line break "));
    QCOMPARE(uuidFromWmicOutput(QStringLiteral("UUID\nA-UUID-B\nC")), QStringLiteral("A--B"));
}

void TestWindows::taskkill()
{
    using namespace shelltext;
    QCOMPARE(taskkillCommand(QStringLiteral("clientProxy.exe"), 4321),
        QStringLiteral("taskkill /f /t /im clientProxy.exe /fi \"PID ne 4321\""));
    QCOMPARE(taskkillCommand(QStringLiteral("my app.exe"), 7),
        QStringLiteral("taskkill /f /t /im \"my app.exe\" /fi \"PID ne 7\""));
    QCOMPARE(taskkillCommand(QStringLiteral("a&b^(1).exe"), 7),
        QStringLiteral("taskkill /f /t /im \"a&b^(1).exe\" /fi \"PID ne 7\""));
    for (const char* refused : { "", "  ", "a\"b.exe", "a\nb.exe", "a|b.exe", "a>b.exe", "%PATH%.exe", "..\\x.exe" })
        QVERIFY2(taskkillCommand(QString::fromLatin1(refused), 7).isEmpty(), refused);
    QCOMPARE(taskkillPidsCommand({}), QString());
    QCOMPARE(taskkillPidsCommand({ 12, 3456 }), QStringLiteral("taskkill /f /t /pid 12 /pid 3456"));
    QVERIFY(taskkillSucceeded(0));
    QVERIFY(taskkillSucceeded(128)); // none was running
    QVERIFY(!taskkillSucceeded(1));
    QVERIFY(!taskkillSucceeded(255));
}

void TestWindows::shellResults()
{
    QCOMPARE(shellResultText(0), QStringLiteral("内存不足-"));
    QCOMPARE(shellResultText(2), QStringLiteral("文件名错误-"));
    QCOMPARE(shellResultText(31), QStringLiteral("没有相关联的应用程序-"));
    QCOMPARE(shellResultText(5), QStringLiteral("未知-")); // access denied, e.g. the prompt declined
    QCOMPARE(shellResultText(32), QStringLiteral("未知-"));
}

QTEST_GUILESS_MAIN(TestWindows)
#include "test_windows.moc"
