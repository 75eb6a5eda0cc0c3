// Area list file, name queries and the ASN table.
#include "areacatalogue.h"
#include "payloadcodec.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace zq::catalogue;

namespace {

QJsonObject place(
    const QString& code, const QString& name, const char* listKey = nullptr, const QJsonArray& children = {})
{
    QJsonObject o { { "code", code }, { "name", name } };
    if (listKey)
        o.insert(QLatin1String(listKey), children);
    return o;
}

// Two countries share "New South"; "Springfield" is a state in both; one city is blank.
QJsonObject sampleReply()
{
    const QJsonArray us { place("IL", "Springfield", "city_list", { place("spr", "springfield town"), place("", "") }),
        place("CA", "California", "city_list", { place("la", "Los Angeles"), place("sf", "San Francisco") }) };
    const QJsonArray au { place("NSW", "New South Wales", "city_list", { place("syd", "Sydney") }),
        place("SP", "Springfield", "city_list", {}), place("TAS", "Tasmania") };
    const QJsonArray countries { place("US", "United States", "state_list", us),
        place("AU", "Australia", "state_list", au), place("NS", "new south land", "state_list", {}),
        place("ZA", "south Africa") };
    return QJsonObject { { "code", 0 }, { "msg", "success" }, { "data", countries } };
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

class TestAreaCatalogue : public QObject {
    Q_OBJECT
private slots:
    void replyIsCachedAndReadBackWithoutRewrite();
    void failedOrDamagedRepliesKeepTheFile();
    void damagedFiles();
    void saveFailureIsReported();
    void nameQueries();
    void entriesWithoutANameAreSkipped();
    void asnRecords();
};

void TestAreaCatalogue::replyIsCachedAndReadBackWithoutRewrite()
{
    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path());
    QSignalSpy status(&areas, &AreaCatalogue::getAreaListStatus);
    areas.dealAreaList(sampleReply(), true);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.first().at(0).toBool(), true);
    QCOMPARE(status.first().at(1).toString(), QString());
    QCOMPARE(areas.countries().size(), 4);
    QCOMPARE(areas.countries()[0].states[0].cities.size(), 1); // the blank city is not kept
    QCOMPARE(areas.countries()[1].states[1].cities.size(), 0); // a state without cities is

    const QByteArray file = readAll(areas.areaFilePath());
    QVERIFY(!file.contains('{') && !file.contains('\n'));
    QCOMPARE(QJsonDocument::fromJson(codec.decode(QString::fromUtf8(file))).object(), sampleReply());

    // Reading the file rebuilds the same list and leaves the file as it was.
    const QDateTime written = QFileInfo(areas.areaFilePath()).lastModified();
    AreaCatalogue again(&codec, dir.path());
    QSignalSpy againStatus(&again, &AreaCatalogue::getAreaListStatus);
    QTest::qWait(20);
    QVERIFY(again.readAreaList());
    QCOMPARE(againStatus.count(), 1);
    QCOMPARE(againStatus.first().at(0).toBool(), true);
    QCOMPARE(again.getCountryNameList(), areas.getCountryNameList());
    QCOMPARE(again.getCityNameList("", ""), areas.getCityNameList("", ""));
    QCOMPARE(readAll(areas.areaFilePath()), file);
    QCOMPARE(QFileInfo(areas.areaFilePath()).lastModified(), written);
}

void TestAreaCatalogue::failedOrDamagedRepliesKeepTheFile()
{
    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path());
    areas.dealAreaList(sampleReply(), true);
    const QByteArray good = readAll(areas.areaFilePath());
    QSignalSpy status(&areas, &AreaCatalogue::getAreaListStatus);

    const QJsonObject replies[] = {
        QJsonObject { { "code", 1 }, { "msg", "busy" }, { "data", QJsonArray {} } },
        QJsonObject { { "code", 0 }, { "ret_data", sampleReply().value("data") } }, // wrong key
        QJsonObject { { "code", 0 }, { "data", "not a list" } },
    };
    for (const QJsonObject& reply : replies) {
        areas.dealAreaList(sampleReply(), false);
        QVERIFY(!areas.countries().isEmpty());
        areas.dealAreaList(reply, true);
        QCOMPARE(status.last().at(0).toBool(), false);
        QVERIFY(areas.countries().isEmpty());
        QCOMPARE(readAll(areas.areaFilePath()), good);
    }

    // Elements that are not objects, names that are not text and deep nesting: skipped as
    // nameless places; nothing breaks.
    QJsonValue deep = QJsonArray { "bottom" };
    for (int i = 0; i < 200; ++i)
        deep = QJsonArray { deep };
    const QJsonObject odd { { "code", 0 },
        { "data", QJsonArray { 3, deep, QJsonObject { { "name", deep }, { "state_list", deep } } } } };
    areas.dealAreaList(odd, true);
    QCOMPARE(status.last().at(0).toBool(), true);
    QCOMPARE(areas.countries().size(), 0);
    QCOMPARE(areas.getCountryNameList(), QStringList());
}

void TestAreaCatalogue::damagedFiles()
{
    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path());
    QSignalSpy status(&areas, &AreaCatalogue::getAreaListStatus);
    QVERIFY(!areas.readAreaList()); // no file yet

    const QByteArray plainJson = QJsonDocument(sampleReply()).toJson(QJsonDocument::Compact);
    QString deep = QStringLiteral("0");
    for (int i = 0; i < 5000; ++i)
        deep = QLatin1Char('[') + deep + QLatin1Char(']');
    const QByteArray contents[] = {
        QByteArray(),
        plainJson, // not scrambled
        codec.encode(plainJson).toUtf8().left(100), // cut short
        codec.encode("[1,2,3]").toUtf8(),
        codec.encode(deep.toUtf8()).toUtf8(),
        QByteArray(4096, '\xff'),
    };
    for (const QByteArray& content : contents) {
        QVERIFY(writeAll(areas.areaFilePath(), content));
        QVERIFY(areas.readAreaList());
        QCOMPARE(status.count(), 0);
        QCOMPARE(readAll(areas.areaFilePath()), content);
    }
}

void TestAreaCatalogue::saveFailureIsReported()
{
    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path() + QStringLiteral("/missing/folder"));
    QSignalSpy message(&areas, &AreaCatalogue::proxyClientMessage);
    QVERIFY(!areas.saveAreaList(sampleReply()));
    QCOMPARE(message.count(), 1);
    QVERIFY(message.first().at(0).toString().startsWith(areas.areaFilePath() + QStringLiteral("File save err:")));
}

void TestAreaCatalogue::nameQueries()
{
    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path());
    areas.dealAreaList(sampleReply(), false);

    QCOMPARE(areas.getCountryNameList(),
        QStringList({ "Australia", "United States", "new south land", "south Africa" })); // code-unit order
    QCOMPARE(areas.searchCountryNameList(""), areas.getCountryNameList());
    QCOMPARE(areas.searchCountryNameList("SOUTH"), QStringList({ "new south land", "south Africa" }));
    QCOMPARE(areas.searchCountryNameList("aus"), QStringList({ "Australia" }));
    QCOMPARE(areas.searchCountryNameList("zz"), QStringList());

    // "a" matches both countries with states: their states merged and sorted, duplicates kept.
    QCOMPARE(areas.getStateNameList("a"),
        QStringList({ "California", "New South Wales", "Springfield", "Springfield", "Tasmania" }));
    QCOMPARE(areas.searchStateNameList("", "SPRING"), QStringList({ "Springfield", "Springfield" }));
    QCOMPARE(areas.searchStateNameList("united", "a"), QStringList({ "California" }));
    QCOMPARE(
        areas.getCityNameList("", ""), QStringList({ "Los Angeles", "San Francisco", "Sydney", "springfield town" }));
    QCOMPARE(areas.getCityNameList("austr", ""), QStringList({ "Sydney" }));
    QCOMPARE(areas.searchCityNameList("", "spring", "SPRING"), QStringList({ "springfield town" }));
    QCOMPARE(areas.searchCityNameList("states", "cal", "an"), QStringList({ "Los Angeles", "San Francisco" }));
}

void TestAreaCatalogue::entriesWithoutANameAreSkipped()
{
    // Wrong types at every level: numbers, strings, arrays, null, a name of the wrong type.
    const QJsonArray states { 7, "TX", QJsonValue(), QJsonObject { { "code", "NM" }, { "name", 5 } },
        place("TX", "Texas", "city_list",
            { 3, "x", QJsonArray { 1 }, place("nameless", ""), place("", "Austin"), place("dal", "Dallas") }) };
    const QJsonArray countries { 42, "US", QJsonValue(), QJsonArray { place("XX", "Inside an array") },
        QJsonObject { { "code", "FR" }, { "name", true } }, place("US", "United States", "state_list", states),
        place("CA", "Canada") };
    const QJsonObject reply { { "code", 0 }, { "data", countries } };

    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path());
    QSignalSpy status(&areas, &AreaCatalogue::getAreaListStatus);
    areas.dealAreaList(reply, true);
    QCOMPARE(status.count(), 1);
    QVERIFY(status.first().at(0).toBool());
    QCOMPARE(areas.getCountryNameList(), QStringList({ "Canada", "United States" }));
    QCOMPARE(areas.getStateNameList("united"), QStringList({ "Texas" }));
    QCOMPARE(areas.getCityNameList("", ""), QStringList({ "Austin", "Dallas" }));

    // The same from the cached file.
    AreaCatalogue again(&codec, dir.path());
    QVERIFY(again.readAreaList());
    QCOMPARE(again.getCountryNameList(), QStringList({ "Canada", "United States" }));
    QCOMPARE(again.getStateNameList(""), QStringList({ "Texas" }));
}

void TestAreaCatalogue::asnRecords()
{
    QTemporaryDir dir;
    PayloadCodec codec;
    AreaCatalogue areas(&codec, dir.path());
    QVERIFY(!areas.readASNInfo(dir.filePath("asn.txt")));

    const QByteArray text = "\xEF\xBB\xBF"
                            "AS7922,Comcast\r\n"
                            "\r\n"
                            "AS1,Level, Three\r\n" // comma in the name: skipped
                            "no comma here\r\n"
                            "AS701,Verizon\n" // line end of another system
                            "AS3320, Deutsche Telekom \r"
                            "AS20115,Charter\r\n"
                            ",\r\n" // two empty fields still make a record
                            "AS9999,Comcast\r\n"
                            "\r\n";
    QVERIFY(writeAll(dir.filePath("asn.txt"), text));
    QVERIFY(areas.readASNInfo(dir.filePath("asn.txt")));
    QStringList codes, names;
    for (const AsnEntry& e : areas.asnList()) {
        codes << e.code;
        names << e.name;
    }
    QCOMPARE(codes, QStringList({ "AS7922", "AS701", "AS3320", "AS20115", "", "AS9999" }));
    QCOMPARE(names, QStringList({ "Comcast", "Verizon", " Deutsche Telekom ", "Charter", "", "Comcast" }));
    QCOMPARE(areas.asnCodeFor("Comcast"), QStringLiteral("AS7922")); // the first entry wins
    QVERIFY(areas.asnCodeFor("comcast").isNull());
    QCOMPARE(areas.searchAsn("c"), QStringList({ " Deutsche Telekom ", "Charter", "Comcast", "Comcast" }));

    // Each read appends.
    QVERIFY(areas.readASNInfo(dir.filePath("asn.txt")));
    QCOMPARE(areas.asnList().size(), 12);

    // The shipped table: a few hundred rows, every one a code and a name.
    AreaCatalogue shipped(&codec, dir.path());
    QVERIFY(shipped.readASNInfo(QStringLiteral(ZQ_BIN_DIR "/asn.txt")));
    QVERIFY(shipped.asnList().size() >= 200);
    for (const AsnEntry& e : shipped.asnList())
        QVERIFY(e.code.startsWith("AS") && !e.name.isEmpty());
    QCOMPARE(shipped.asnCodeFor("Comcast"), QStringLiteral("AS7922"));
}

QTEST_GUILESS_MAIN(TestAreaCatalogue)
#include "test_areacatalogue.moc"
