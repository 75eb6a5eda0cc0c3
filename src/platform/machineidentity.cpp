#include "machineidentity.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QNetworkInterface>

namespace zq::platform {

namespace {

// Calls hit(adapter, address) for every qualifying address, in walk order.
template <typename Hit> void walkAdapters(const QList<Adapter>& adapters, Hit hit)
{
    for (const Adapter& adapter : adapters) {
        if (!adapter.up || !adapter.running || adapter.loopback)
            continue;
        for (const AdapterAddress& address : adapter.addresses) {
            if (address.isIPv4 && !address.isLoopback)
                hit(adapter, address);
        }
    }
}

} // namespace

QList<Adapter> systemAdapters()
{
    QList<Adapter> adapters;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        Adapter adapter;
        adapter.hardwareAddress = iface.hardwareAddress();
        adapter.up = iface.flags().testFlag(QNetworkInterface::IsUp);
        adapter.running = iface.flags().testFlag(QNetworkInterface::IsRunning);
        adapter.loopback = iface.flags().testFlag(QNetworkInterface::IsLoopBack);
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            adapter.addresses.append(
                { ip.toString(), ip.protocol() == QAbstractSocket::IPv4Protocol, ip.isLoopback() });
        }
        adapters.append(adapter);
    }
    return adapters;
}

QString localIpFrom(const QList<Adapter>& adapters)
{
    QString result;
    walkAdapters(adapters, [&result](const Adapter&, const AdapterAddress& address) {
        qDebug() << "IpAddr" << address.ip;
        result = address.ip;
    });
    qDebug() << "strIpAddr" << result;
    return result;
}

QString macAddressFrom(const QList<Adapter>& adapters)
{
    QString result;
    walkAdapters(adapters, [&result](const Adapter& adapter, const AdapterAddress&) {
        qDebug() << "MacAddr" << adapter.hardwareAddress;
        result = adapter.hardwareAddress;
    });
    qDebug() << "strMacAddr" << result;
    return result;
}

QString localIp()
{
    return localIpFrom(systemAdapters());
}

QString macAddress()
{
    return macAddressFrom(systemAdapters());
}

QString linuxMachineUuid(const QString& root)
{
    for (const char* path : { "/etc/machine-id", "/var/lib/dbus/machine-id", "/sys/class/dmi/id/product_uuid" }) {
        QFile file(root + QLatin1String(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        // Small files; sysfs reports size 4096 and /proc-like files 0, so read a bounded amount.
        const QString value = QString::fromLatin1(file.read(4096)).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

QString unionId(const QString& uuid, const QString& mac)
{
    return QString::fromLatin1(QCryptographicHash::hash((uuid + mac).toUtf8(), QCryptographicHash::Md5).toHex());
}

} // namespace zq::platform
