// Machine identity and the screen size.

#include "machineidentity.h"
#include "platform.h"

#include <QDir>
#include <QNetworkInterface>
#include <QTemporaryDir>
#include <QtTest>

using namespace zq::platform;

Q_DECLARE_METATYPE(QList<zq::platform::Adapter>)

class TestMachine : public QObject {
    Q_OBJECT

private slots:
    void adapterWalk_data();
    void adapterWalk();
    void systemAdapterWalk();
    void unionId_data();
    void unionId();
    void hardwareUuid();
    void machineIdComesFirst();
    void monitorSize();
};

namespace {
Adapter adapter(const QString& mac, const QStringList& ips, bool up = true, bool running = true, bool loopback = false)
{
    Adapter result { mac, up, running, loopback, {} };
    for (const QString& ip : ips) {
        const QHostAddress address(ip);
        result.addresses.append({ ip, address.protocol() == QAbstractSocket::IPv4Protocol, address.isLoopback() });
    }
    return result;
}
} // namespace

void TestMachine::adapterWalk_data()
{
    QTest::addColumn<QList<Adapter>>("adapters");
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mac");
    const QString macA = QStringLiteral("00:1A:2B:3C:4D:5E");
    const QString macB = QStringLiteral("00:1A:2B:3C:4D:5F");
    const Adapter a = adapter(macA, { "192.168.1.20" });
    QTest::newRow("none") << QList<Adapter> {} << QString() << QString();
    QTest::newRow("one active") << QList<Adapter> { a } << "192.168.1.20" << macA;
    QTest::newRow("two active: the later wins")
        << QList<Adapter> { a, adapter(macB, { "10.0.0.7" }) } << "10.0.0.7" << macB;
    QTest::newRow("last address of an adapter wins")
        << QList<Adapter> { adapter(macA, { "192.168.1.20", "fe80::1", "192.168.1.21", "fd00::2" }) } << "192.168.1.21"
        << macA;
    QTest::newRow("IPv6-only adapter does not qualify")
        << QList<Adapter> { a, adapter(macB, { "fe80::1", "fd00::2" }) } << "192.168.1.20" << macA;
    QTest::newRow("down adapter skipped")
        << QList<Adapter> { a, adapter(macB, { "10.0.0.7" }, false, false) } << "192.168.1.20" << macA;
    QTest::newRow("up but not running skipped")
        << QList<Adapter> { a, adapter(macB, { "10.0.0.7" }, true, false) } << "192.168.1.20" << macA;
    QTest::newRow("loopback adapter skipped")
        << QList<Adapter> { a, adapter(QString(), { "127.0.0.1", "::1" }, true, true, true) } << "192.168.1.20" << macA;
    QTest::newRow("loopback address on an active adapter skipped")
        << QList<Adapter> { a, adapter(macB, { "127.0.0.1" }) } << "192.168.1.20" << macA;
    QTest::newRow("nothing qualifies") << QList<Adapter> { adapter(macA, { "10.0.0.7" }, false, true),
        adapter(macB, { "fe80::1" }) } << QString()
                                       << QString();
}

void TestMachine::adapterWalk()
{
    QFETCH(QList<Adapter>, adapters);
    QFETCH(QString, ip);
    QFETCH(QString, mac);
    QCOMPARE(localIpFrom(adapters), ip);
    QCOMPARE(macAddressFrom(adapters), mac);
}

void TestMachine::systemAdapterWalk()
{
    // Whatever this machine has, the chosen address belongs to the chosen adapter.
    const QString ip = localIp();
    const QString mac = macAddress();
    QCOMPARE(ip.isEmpty(), mac.isEmpty());
    if (ip.isEmpty())
        return;
    bool matched = false;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& entry : iface.addressEntries())
            matched = matched || (entry.ip().toString() == ip && iface.hardwareAddress() == mac);
    }
    QVERIFY(matched);
    QCOMPARE(QHostAddress(ip).protocol(), QAbstractSocket::IPv4Protocol);
    QVERIFY(!QHostAddress(ip).isLoopback());
}

void TestMachine::unionId_data()
{
    QTest::addColumn<QString>("uuid");
    QTest::addColumn<QString>("mac");
    QTest::addColumn<QString>("expected");
    const QString uuid = QStringLiteral("4C4C4544-0042-3510-8052-B4C04F4E4D32");
    QTest::newRow("nothing obtained") << QString() << QString() << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("uuid then mac, no separator") << "a"
                                                 << "bc"
                                                 << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("machine") << uuid << "00:1A:2B:3C:4D:5E"
                             << "cf4d4c2653d7967a3f5442d00cb61a31";
    QTest::newRow("same machine, other adapter") << uuid << "00:1A:2B:3C:4D:5F"
                                                 << "c6d5c2e860089d1dee334640f5a1b28d";
    QTest::newRow("UTF-8") << QStringLiteral("\u00e9") << QString() << "66ddcd97cfdeabb2f6fb8a999b4bc76f";
}

void TestMachine::unionId()
{
    QFETCH(QString, uuid);
    QFETCH(QString, mac);
    QFETCH(QString, expected);
    QCOMPARE(zq::platform::unionId(uuid, mac), expected);
}

void TestMachine::hardwareUuid()
{
    const QString uuid = zq::platform::hardwareUuid();
    QVERIFY(!uuid.isEmpty());
    QCOMPARE(uuid, uuid.trimmed());
    QCOMPARE(zq::platform::hardwareUuid(), uuid);
}

void TestMachine::machineIdComesFirst()
{
    // A root-only product UUID must not give root another union id than a user gets.
    QTemporaryDir root;
    auto put = [&root](const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(root.path() + path).absolutePath());
        QFile file(root.path() + path);
        return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
    };
    QCOMPARE(linuxMachineUuid(root.path()), QString());
    QVERIFY(put("/sys/class/dmi/id/product_uuid", "4C4C4544-0042-3510-8052-B4C04F4E4D32\n"));
    QCOMPARE(linuxMachineUuid(root.path()), QStringLiteral("4C4C4544-0042-3510-8052-B4C04F4E4D32"));
    QVERIFY(put("/var/lib/dbus/machine-id", "0123456789abcdef0123456789abcdef\n"));
    QCOMPARE(linuxMachineUuid(root.path()), QStringLiteral("0123456789abcdef0123456789abcdef"));
    QVERIFY(put("/etc/machine-id", "  fedcba9876543210fedcba9876543210\n"));
    QCOMPARE(linuxMachineUuid(root.path()), QStringLiteral("fedcba9876543210fedcba9876543210"));
    // An empty machine id (a freshly installed image) falls through to the next source.
    QVERIFY(put("/etc/machine-id", "\n"));
    QCOMPARE(linuxMachineUuid(root.path()), QStringLiteral("0123456789abcdef0123456789abcdef"));

    // This system reads the same order.
    QFile machineId(QStringLiteral("/etc/machine-id"));
    const QString id
        = machineId.open(QIODevice::ReadOnly) ? QString::fromLatin1(machineId.readAll()).trimmed() : QString();
    if (!id.isEmpty())
        QCOMPARE(zq::platform::hardwareUuid(), id);
}

void TestMachine::monitorSize()
{
    // Asked of the X server, never of Qt's screens (the size on a real Xvfb: test_startup).
    // Without a display there is nothing to scale for.
    const QByteArray saved = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    QCOMPARE(zq::platform::monitorSize(), QSize());
    qputenv("DISPLAY", ":65000"); // nobody serves it
    QCOMPARE(zq::platform::monitorSize(), QSize());
    qputenv("DISPLAY", saved);
}

QTEST_MAIN(TestMachine)
#include "test_machine.moc"
