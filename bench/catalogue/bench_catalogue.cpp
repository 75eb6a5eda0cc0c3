// Time to turn line replies into records and to parse and query the area list.
#include "areacatalogue.h"
#include "linecatalogue.h"
#include "payloadcodec.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace zq::catalogue;

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

QJsonObject lineReply(int count)
{
    PayloadCodec codec;
    QJsonArray data;
    for (int i = 0; i < count; ++i) {
        data.append(
            QJsonObject { { "ip", QStringLiteral("127.%1.%2.%3").arg(i >> 16).arg((i >> 8) & 255).arg(i & 255) },
                { "sn", codec.encodeText(QStringLiteral("SN-S5-%1").arg(i, 5, 10, QLatin1Char('0'))) },
                { "server", "127.0.0.1:18090" }, { "country", "United States" }, { "state", "California" },
                { "city", "Los Angeles" }, { "postal", "90001" }, { "isp", "Comcast" }, { "iso", "US" },
                { "server_region", "us-west" }, { "status", "Online" } });
    }
    return QJsonObject { { "code", 0 }, { "msg", "success" }, { "data", data } };
}

QJsonObject areaReply()
{
    QJsonArray countries;
    for (int c = 0; c < 250; ++c) {
        QJsonArray states;
        for (int s = 0; s < 8; ++s) {
            QJsonArray cities;
            for (int t = 0; t < 6; ++t)
                cities.append(QJsonObject { { "code", QStringLiteral("c%1-%2-%3").arg(c).arg(s).arg(t) },
                    { "name", QStringLiteral("City %1 %2 %3").arg(c).arg(s).arg(t) } });
            states.append(QJsonObject { { "code", QStringLiteral("S%1").arg(s) },
                { "name", QStringLiteral("State %1 of %2").arg(s).arg(c) }, { "city_list", cities } });
        }
        countries.append(QJsonObject { { "code", QStringLiteral("C%1").arg(c) },
            { "name", QStringLiteral("Country %1").arg(c) }, { "state_list", states } });
    }
    return QJsonObject { { "code", 0 }, { "msg", "success" }, { "data", countries } };
}

} // namespace

class BenchCatalogue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qInstallMessageHandler(quiet); }
    void lineReplyToRecords();
    void areaListParse();
    void nameQueries_data();
    void nameQueries();

private:
    QTemporaryDir m_dir;
    PayloadCodec m_codec;
};

void BenchCatalogue::lineReplyToRecords()
{
    const QJsonObject reply = lineReply(10000);
    LineCatalogue lines(&m_codec, QStringLiteral("0123456789abcdef0123456789abcdef"), nullptr);
    QBENCHMARK
    {
        lines.dealProxyServerInfo(reply);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(lines.lines(Plan::S5).size(), 10000);
}

void BenchCatalogue::areaListParse()
{
    const QJsonObject reply = areaReply();
    AreaCatalogue areas(&m_codec, m_dir.path());
    QBENCHMARK
    {
        areas.dealAreaList(reply, false);
    }
    QCOMPARE(areas.countries().size(), 250);
}

void BenchCatalogue::nameQueries_data()
{
    QTest::addColumn<int>("query");
    QTest::newRow("getCountryNameList") << 0;
    QTest::newRow("searchCountryNameList") << 1;
    QTest::newRow("getStateNameList") << 2;
    QTest::newRow("searchStateNameList") << 3;
    QTest::newRow("getCityNameList") << 4;
    QTest::newRow("searchCityNameList") << 5;
    QTest::newRow("searchAsn") << 6;
}

void BenchCatalogue::nameQueries()
{
    QFETCH(int, query);
    AreaCatalogue areas(&m_codec, m_dir.path());
    areas.dealAreaList(areaReply(), false);
    areas.readASNInfo(QStringLiteral(ZQ_BIN_DIR "/asn.txt"));
    QStringList out;
    QBENCHMARK
    {
        switch (query) {
        case 0:
            out = areas.getCountryNameList();
            break;
        case 1:
            out = areas.searchCountryNameList(QStringLiteral("country 1"));
            break;
        case 2:
            out = areas.getStateNameList(QStringLiteral("Country 12"));
            break;
        case 3:
            out = areas.searchStateNameList(QStringLiteral("country"), QStringLiteral("state 3"));
            break;
        case 4:
            out = areas.getCityNameList(QStringLiteral("Country 12"), QStringLiteral(""));
            break;
        case 5:
            out = areas.searchCityNameList(QStringLiteral(""), QStringLiteral(""), QStringLiteral("city 1"));
            break;
        case 6:
            out = areas.searchAsn(QStringLiteral("tel"));
            break;
        }
    }
    QVERIFY(!out.isEmpty());
}

QTEST_GUILESS_MAIN(BenchCatalogue)
#include "bench_catalogue.moc"
