// Ports in use as the system reports them, and the search for a free one.

#include "platform.h"
#include "portsearch.h"
#ifdef Q_OS_LINUX
#include "procfs.h"
#endif

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

#include <memory>
#include <unistd.h>

using namespace zq;

Q_DECLARE_METATYPE(QHostAddress)

class TestPorts : public QObject {
    Q_OBJECT

private slots:
    void heldTcpPortsAreReported_data();
    void heldTcpPortsAreReported();
    void closedConnectionInTimeWaitIsFree();
    void heldUdpPortsAreReported_data();
    void heldUdpPortsAreReported();
    void firstFreePort_data();
    void firstFreePort();
    void searchSkipsHeldPorts();
    void lowRangeGivesBindablePort();
#ifdef Q_OS_LINUX
    void lowestBindablePortFromProcText_data();
    void lowestBindablePortFromProcText();
    void socketTableRows();
#endif
};

namespace {

// Sockets a test row holds open, and the local ports they must show.
struct Held {
    std::vector<std::unique_ptr<QObject>> sockets;
    QList<quint16> ports;
};

bool listen(Held& held, const QHostAddress& address)
{
    auto server = std::make_unique<QTcpServer>();
    if (!server->listen(address, 0))
        return false;
    held.ports << server->serverPort();
    held.sockets.push_back(std::move(server));
    return true;
}

bool connectPair(Held& held, const QHostAddress& address)
{
    auto server = std::make_unique<QTcpServer>();
    if (!server->listen(address, 0))
        return false;
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(address, server->serverPort());
    if (!client->waitForConnected(5000) || !server->waitForNewConnection(5000))
        return false;
    QTcpSocket* accepted = server->nextPendingConnection();
    held.ports << server->serverPort() << client->localPort() << accepted->localPort();
    held.sockets.push_back(std::move(client));
    held.sockets.push_back(std::move(server)); // owns the accepted socket
    return true;
}

bool contains(const QList<quint16>& list, const QList<quint16>& ports)
{
    for (quint16 port : ports) {
        if (!list.contains(port))
            return false;
    }
    return true;
}

bool containsNone(const QList<quint16>& list, const QList<quint16>& ports)
{
    for (quint16 port : ports) {
        if (list.contains(port))
            return false;
    }
    return true;
}

} // namespace

void TestPorts::heldTcpPortsAreReported_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QHostAddress>("address");
    QTest::newRow("listening IPv4") << "listen" << QHostAddress(QHostAddress::LocalHost);
    QTest::newRow("listening IPv6") << "listen" << QHostAddress(QHostAddress::LocalHostIPv6);
    QTest::newRow("listening on all addresses") << "listen" << QHostAddress(QHostAddress::Any);
    QTest::newRow("connected pair IPv4") << "pair" << QHostAddress(QHostAddress::LocalHost);
    QTest::newRow("connected pair IPv6") << "pair" << QHostAddress(QHostAddress::LocalHostIPv6);
}

void TestPorts::heldTcpPortsAreReported()
{
    QFETCH(QString, kind);
    QFETCH(QHostAddress, address);
    Held held;
    const bool opened = kind == QLatin1String("listen") ? listen(held, address) : connectPair(held, address);
    if (!opened && address.protocol() == QAbstractSocket::IPv6Protocol)
        QSKIP("no IPv6 loopback here");
    QVERIFY(opened);

    const QList<quint16> all = platform::tcpPortsInUse(0);
    QVERIFY(std::is_sorted(all.begin(), all.end()));
    QVERIFY2(contains(all, held.ports), "a port held by this process is missing");
    // Another process excluded: ours still count.
    QVERIFY(contains(platform::tcpPortsInUse(::getppid()), held.ports));
    // This process excluded: none of ours count.
    QVERIFY(containsNone(platform::tcpPortsInUse(QCoreApplication::applicationPid()), held.ports));
}

void TestPorts::closedConnectionInTimeWaitIsFree()
{
#ifndef Q_OS_LINUX
    QSKIP("reads the Linux socket table to see the TIME_WAIT row");
#else
    Held held;
    QVERIFY(connectPair(held, QHostAddress::LocalHost));
    auto* client = static_cast<QTcpSocket*>(held.sockets[0].get());
    auto* server = static_cast<QTcpServer*>(held.sockets[1].get());
    QTcpSocket* accepted = server->findChild<QTcpSocket*>();
    QVERIFY(accepted);
    const quint16 clientPort = client->localPort();

    // The side that closes first keeps its port in TIME_WAIT, owned by no process.
    client->disconnectFromHost();
    QTRY_COMPARE(accepted->state(), QAbstractSocket::UnconnectedState);
    const QByteArray timeWaitRow = ':' + QByteArray::number(clientPort, 16).toUpper().rightJustified(4, '0') + " ";
    auto inTimeWait = [&timeWaitRow] {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && (fields[1] + ' ').endsWith(timeWaitRow) && fields[3] == "06")
                return true;
        }
        return false;
    };
    QTRY_VERIFY(inTimeWait());
    QVERIFY(!platform::tcpPortsInUse(0).contains(clientPort));
#endif
}

void TestPorts::heldUdpPortsAreReported_data()
{
    QTest::addColumn<QHostAddress>("address");
    QTest::newRow("IPv4") << QHostAddress(QHostAddress::LocalHost);
    QTest::newRow("IPv6") << QHostAddress(QHostAddress::LocalHostIPv6);
    QTest::newRow("all addresses") << QHostAddress(QHostAddress::Any);
}

void TestPorts::heldUdpPortsAreReported()
{
    QFETCH(QHostAddress, address);
    QUdpSocket socket;
    if (!socket.bind(address, 0) && address.protocol() == QAbstractSocket::IPv6Protocol)
        QSKIP("no IPv6 loopback here");
    QVERIFY(socket.state() == QAbstractSocket::BoundState);
    const QList<quint16> all = platform::udpPortsInUse();
    QVERIFY(std::is_sorted(all.begin(), all.end()));
    QVERIFY(all.contains(socket.localPort()));
    QVERIFY(!all.contains(0));
}

void TestPorts::firstFreePort_data()
{
    QTest::addColumn<QList<quint16>>("inUse");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("expected");
    using L = QList<quint16>;
    QTest::newRow("nothing held") << L {} << 5000 << 5010 << 5000;
    QTest::newRow("first port held") << L { 5000 } << 5000 << 5010 << 5001;
    QTest::newRow("held below the range ignored") << L { 4990, 4999 } << 5000 << 5010 << 5000;
    QTest::newRow("gap after a run") << L { 5000, 5001, 5002, 5004 } << 5000 << 5010 << 5003;
    QTest::newRow("duplicates") << L { 5000, 5000, 5001, 5001, 5001, 5003 } << 5000 << 5010 << 5002;
    QTest::newRow("run starting before the range") << L { 4998, 4999, 5000, 5001 } << 5000 << 5010 << 5002;
    QTest::newRow("last port of the range free") << L { 5000, 5001, 5002 } << 5000 << 5004 << 5003;
    QTest::newRow("end excluded") << L { 5000, 5001, 5002 } << 5000 << 5003 << 0;
    QTest::newRow("range fully held, ports beyond free") << L { 5000, 5001, 5002, 5010 } << 5000 << 5003 << 0;
    QTest::newRow("empty range") << L {} << 5000 << 5000 << 0;
    QTest::newRow("reversed range") << L {} << 5010 << 5000 << 0;
    QTest::newRow("port 0 never returned") << L {} << 0 << 10 << 1;
    QTest::newRow("top port held") << L { 65534, 65535 } << 65534 << 70000 << 0;
    QTest::newRow("top port free") << L { 65534 } << 65534 << 70000 << 65535;
}

void TestPorts::firstFreePort()
{
    QFETCH(QList<quint16>, inUse);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, expected);
    QCOMPARE(ports::firstFreePort(inUse, from, to), expected);
}

void TestPorts::searchSkipsHeldPorts()
{
    QTcpServer tcp;
    QVERIFY(tcp.listen(QHostAddress::LocalHost, 0));
    const int tcpPort = tcp.serverPort();
    const int nextTcp = ports::firstFreeTcpPort(tcpPort, tcpPort + 50);
    QVERIFY(nextTcp > tcpPort && nextTcp < tcpPort + 50);
    QCOMPARE(ports::firstFreeTcpPort(tcpPort, tcpPort + 1), 0);

    QUdpSocket udp;
    QVERIFY(udp.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const int udpPort = udp.localPort();
    const int nextUdp = ports::firstFreeUdpPort(udpPort, udpPort + 50);
    QVERIFY(nextUdp > udpPort && nextUdp < udpPort + 50);
    QCOMPARE(ports::firstFreeUdpPort(udpPort, udpPort + 1), 0);
}

void TestPorts::lowRangeGivesBindablePort()
{
    // The low ranges the client searches must give ports it can really open, privileged or not.
    const int shift = platform::lowPortShift(200);
    QCOMPARE(platform::lowPortShift(1024), 0);

    // Other suites running beside this one may take a port between the search and the bind,
    // so a few fresh searches are allowed; every port found must lie in the shifted range.
    QTcpServer server;
    for (int attempt = 0; attempt < 5 && !server.isListening(); ++attempt) {
        const int tcpPort = ports::firstFreeTcpPort(200, 1000);
        QVERIFY(tcpPort >= 200 + shift && tcpPort < 1000 + shift);
        server.listen(QHostAddress::Any, quint16(tcpPort));
    }
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    const int udpShift = platform::lowPortShift(100);
    QUdpSocket socket;
    bool bound = false;
    for (int attempt = 0; attempt < 5 && !bound; ++attempt) {
        const int udpPort = ports::firstFreeUdpPort(100, 1000);
        QVERIFY(udpPort >= 100 + udpShift && udpPort < 1000 + udpShift);
        bound = socket.bind(QHostAddress(QHostAddress::LocalHost), quint16(udpPort));
    }
    QVERIFY2(bound, qPrintable(socket.errorString()));
}

#ifdef Q_OS_LINUX
void TestPorts::lowestBindablePortFromProcText_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("sysctl");
    QTest::addColumn<int>("expected");
    const QByteArray withCap
        = "Name:\tx\nCapPrm:\t0000000000000000\nCapEff:\t0000000000000400\nCapBnd:\t000001ffffffffff\n";
    const QByteArray root = "Name:\tx\nCapEff:\t000001fffeffffff\n";
    const QByteArray none = "Name:\tx\nCapPrm:\t000001ffffffffff\nCapEff:\t0000000000000000\n";
    QTest::newRow("root") << root << QByteArray("1024\n") << 1;
    QTest::newRow("only the bind capability") << withCap << QByteArray("1024\n") << 1;
    QTest::newRow("unprivileged, default") << none << QByteArray("1024\n") << 1024;
    QTest::newRow("unprivileged, lowered limit") << none << QByteArray("80\n") << 80;
    QTest::newRow("unprivileged, no limit") << none << QByteArray("0\n") << 1;
    QTest::newRow("unprivileged, old kernel") << none << QByteArray() << 1024;
    QTest::newRow("other capabilities only") << QByteArray("CapEff:\t00000000000003ff\n") << QByteArray("1024") << 1024;
    QTest::newRow("status unreadable") << QByteArray() << QByteArray("1024") << 1024;
}

void TestPorts::lowestBindablePortFromProcText()
{
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, sysctl);
    QFETCH(int, expected);
    QCOMPARE(platform::procfs::lowestBindablePort(status, sysctl), expected);
}

void TestPorts::socketTableRows()
{
    const QByteArray v6 = "  sl  local_address                         remote_address                        st "
                          "tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
                          "   0: 00000000000000000000000001000000:1F90 00000000000000000000000000000000:0000 0A "
                          "00000000:00000000 00:00000000 00000000  1000        0 4242 1 0000000000000000 100 0 0 10 0\n"
                          "   1: 0000000000000000FFFF00000100007F:D431 0000000000000000FFFF00000100007F:1F90 06 "
                          "00000000:00000000 03:00001770 00000000     0        0 0 3 0000000000000000\n"
                          "   2: 00000000000000000000000001000000:zz 00000000000000000000000000000000:0000 0A\n";
    const QList<platform::procfs::SocketRow> rows = platform::procfs::parseSocketTable(v6);
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].localPort, quint16(8080));
    QCOMPARE(rows[0].inode, quint64(4242));
    QCOMPARE(rows[1].localPort, quint16(0xD431));
    QCOMPARE(rows[1].inode, quint64(0));
}
#endif

QTEST_GUILESS_MAIN(TestPorts)
#include "test_ports.moc"
