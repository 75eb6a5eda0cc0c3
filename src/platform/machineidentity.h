#pragma once
// Which machine this is: its LAN address, an adapter's hardware address and the union id
// derived from them. The adapter walk works on plain records so it can run on made-up adapters.

#include <QList>
#include <QString>

namespace zq::platform {

struct AdapterAddress {
    QString ip;
    bool isIPv4 = false;
    bool isLoopback = false;
};

struct Adapter {
    QString hardwareAddress; // "AA:BB:CC:DD:EE:FF"
    bool up = false;
    bool running = false;
    bool loopback = false;
    QList<AdapterAddress> addresses;
};

// The system's network interfaces, in the order the system lists them.
QList<Adapter> systemAdapters();

// Adapter walk over up, running, non-loopback adapters and their IPv4, non-loopback addresses:
// the last qualifying address of the last qualifying adapter wins; none leaves the result empty.
// localIpFrom gives that address (logs "IpAddr" per hit, "strIpAddr" for the result);
// macAddressFrom its adapter's hardware address (logs "MacAddr", "strMacAddr").
QString localIpFrom(const QList<Adapter>& adapters);
QString macAddressFrom(const QList<Adapter>& adapters);

QString localIp();
QString macAddress();

// The Linux machine UUID under root (empty: this system): the first non-empty, trimmed text of
// /etc/machine-id, /var/lib/dbus/machine-id and /sys/class/dmi/id/product_uuid. The machine id
// comes first because every user can read it, while product_uuid is readable by root only: one
// machine then has one union id, whoever runs the client. Empty when none can be read.
QString linuxMachineUuid(const QString& root = QString());

// Lower-case hex MD5 of the UTF-8 bytes of uuid followed by mac.
QString unionId(const QString& uuid, const QString& mac);

} // namespace zq::platform
