#include "payloadcodec.h"

#include <QtTest>

// The Qt face only converts; the scheme itself is covered by the core's own suite.
class TestPayloadCodec : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void keysDoNotMix();
    void garbageDecodesToEmpty();
};

void TestPayloadCodec::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<bool>("driverKey");
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    for (bool driver : { false, true }) {
        const char* k = driver ? " driver" : " default";
        QTest::newRow(QByteArray("empty") + k) << QByteArray() << driver;
        QTest::newRow(QByteArray("ascii") + k) << QByteArray("{\"code\":0}") << driver;
        QTest::newRow(QByteArray("utf8") + k) << QStringLiteral("繁體中文 ü").toUtf8() << driver;
        QTest::newRow(QByteArray("bytes") + k) << bytes << driver;
    }
}

void TestPayloadCodec::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(bool, driverKey);
    PayloadCodec codec;
    if (driverKey)
        codec.setKey(PayloadCodec::driverKey());
    const QString encoded = codec.encode(plain);
    QVERIFY(!encoded.isEmpty());
    QCOMPARE(codec.decode(encoded), plain);
}

void TestPayloadCodec::keysDoNotMix()
{
    PayloadCodec a;
    PayloadCodec b;
    b.setKey(PayloadCodec::driverKey());
    const QString text = QStringLiteral("香港 line");
    QCOMPARE(a.decodeText(a.encodeText(text)), text);
    QVERIFY(b.decodeText(a.encodeText(text)) != text);
}

void TestPayloadCodec::garbageDecodesToEmpty()
{
    PayloadCodec codec;
    QVERIFY(codec.decode(QString()).isEmpty());
    QVERIFY(codec.decode(QStringLiteral("{\"code\":0,\"msg\":\"ok\"}")).isEmpty());
    QVERIFY(codec.decode(QStringLiteral("短")).isEmpty());
}

QTEST_GUILESS_MAIN(TestPayloadCodec)
#include "test_payloadcodec.moc"
