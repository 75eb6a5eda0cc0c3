// The program list on its own: adding from files, URLs and launchers, ids and the placeholder,
// the list file round trip, the seventeen launch arguments and their command line, and the
// installation copy that replaces driver files but never settings.
#include "driverarguments.h"
#include "foldercopy.h"
#include "payloadcodec.h"
#include "platform.h"
#include "processinfo.h"
#include "programlist.h"

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using zq::programproxy::ProgramList;

namespace {

void writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

ProcessInfo* entry(const ProgramList& list, int i)
{
    return qobject_cast<ProcessInfo*>(list.getProcessInfoList().value(i));
}

// A list in its own data folder that records what it announces.
struct Rig {
    QTemporaryDir dir;
    PayloadCodec codec;
    ProgramList list { &codec, dir.filePath("data") };
    QStringList announced;
    Rig()
    {
        list.setAnnouncer([this](const QString& text) {
            announced << text;
            return true;
        });
        list.setFileName([]() { return QStringLiteral("demo_progameList.json"); });
    }
    QString program(const QString& name)
    {
        const QString path = dir.filePath("apps/" + name);
        writeFile(path, "#!/bin/sh\n", true);
        return path;
    }
};

} // namespace

class TestProgramList : public QObject {
    Q_OBJECT
private slots:
    void addsProgramsFromPathsUrlsAndLaunchers();
    void refusesWhatIsNoProgram();
    void idsFollowTheListSizeAndThePlaceholderStaysLast();
    void listFileRoundTrip();
    void unreadableOrMissingFileLeavesThePlaceholder();
    void writeFailureIsReported();
    void launchArgumentsSurviveTheCommandLine();
    void commandLineSplitting_data();
    void commandLineSplitting();
    void driverFilesAreReplacedSettingsNever();
};

void TestProgramList::addsProgramsFromPathsUrlsAndLaunchers()
{
    Rig rig;
    const QString tool = rig.program("tool.bin");
    QVERIFY(rig.list.addPrograme(QUrl::fromLocalFile(tool).toString()));
    ProcessInfo* added = entry(rig.list, 0);
    QVERIFY(added);
    QCOMPARE(added->getName(), QStringLiteral("tool.bin"));
    QCOMPARE(added->getPath(), tool);
    QCOMPARE(added->getParm(), QString());
    const QString picture = rig.dir.filePath("data/program_image/tool.png");
    QCOMPARE(added->getImage(), QUrl::fromLocalFile(picture));
    QCOMPARE(QImage(picture).size(), QSize(28, 28));

    // A launcher stands for the program of its Exec line, not for itself.
    const QString other = rig.program("other prog");
    writeFile(rig.dir.filePath("Other.desktop"),
        "[Desktop Action x]\nExec=/bin/false\n[Desktop Entry]\nName=Other\nExec=\"" + other.toUtf8() + "\" %U\n");
    QVERIFY(rig.list.addPrograme(rig.dir.filePath("Other.desktop")));
    QCOMPARE(entry(rig.list, 1)->getName(), QStringLiteral("other prog"));
    QCOMPARE(entry(rig.list, 1)->getPath(), other);

    // The same program again: one entry, one announcement.
    QVERIFY(!rig.list.addPrograme(tool));
    QCOMPARE(rig.list.programNames(), QStringList({ "tool.bin", "other prog" }));
    QCOMPARE(rig.announced, QStringList({ "ADD tool.bin", "ADD other prog" }));
    QCOMPARE(rig.list.entryNames(), QStringList({ "tool.bin", "other prog", "" }));
}

void TestProgramList::refusesWhatIsNoProgram()
{
    Rig rig;
    writeFile(rig.dir.filePath("notes.txt"), "text");
    const QString program = rig.program("real");
    writeFile(rig.dir.filePath("Caps.DESKTOP"), "[Desktop Entry]\nExec=" + program.toUtf8() + "\n");
    writeFile(rig.dir.filePath("gone.desktop"), "[Desktop Entry]\nExec=/nonexistent/program\n");
    writeFile(rig.dir.filePath("noexec.desktop"), "[Desktop Entry]\nName=x\n");
    for (const QString& name : { "notes.txt", "Caps.DESKTOP", "gone.desktop", "noexec.desktop", "missing" })
        QVERIFY2(!rig.list.addPrograme(rig.dir.filePath(name)), qPrintable(name));
    QVERIFY(!rig.list.addPrograme(rig.dir.path())); // a folder
    QCOMPARE(rig.list.getProcessInfoList().size(), 1);
    QVERIFY(rig.announced.isEmpty());
    QVERIFY(!QFile::exists(rig.dir.filePath("data/demo_progameList.json")));
}

void TestProgramList::idsFollowTheListSizeAndThePlaceholderStaysLast()
{
    Rig rig;
    for (const char* name : { "a", "b", "c" })
        QVERIFY(rig.list.addPrograme(rig.program(name)));
    QVERIFY(rig.list.delPrograme("b"));
    QVERIFY(!rig.list.delPrograme("b"));
    QVERIFY(!rig.list.delPrograme("")); // the placeholder is no program
    QVERIFY(rig.list.addPrograme(rig.program("d")));
    QList<int> ids;
    for (QObject* object : rig.list.getProcessInfoList())
        ids << qobject_cast<ProcessInfo*>(object)->getId();
    // Each took the list size (placeholder counted) before it came: after a delete ids may repeat.
    QCOMPARE(ids, QList<int>({ 1, 3, 3, -1 }));
    QCOMPARE(entry(rig.list, 1)->getName(), QStringLiteral("c"));
    QCOMPARE(rig.announced, QStringList({ "ADD a", "ADD b", "ADD c", "DELETE b", "ADD d" }));
    QCOMPARE(rig.list.programNames(), QStringList({ "a", "c", "d" }));
}

void TestProgramList::listFileRoundTrip()
{
    Rig rig;
    for (const char* name : { "a", "b", "c" })
        QVERIFY(rig.list.addPrograme(rig.program(name)));
    const QString file = rig.dir.filePath("data/demo_progameList.json");
    const QJsonArray stored = QJsonDocument::fromJson(rig.codec.decode(QString::fromUtf8(readFile(file)))).array();
    QCOMPARE(stored.size(), 3);
    const QJsonObject first = stored.first().toObject();
    QCOMPARE(first.keys(), QStringList({ "id", "image", "name", "parm", "path" }));
    QCOMPARE(first.value("id").toInt(), 1);
    QCOMPARE(first.value("name").toString(), QStringLiteral("a"));
    QCOMPARE(
        first.value("image").toString(), QUrl::fromLocalFile(rig.dir.filePath("data/program_image/a.png")).toString());

    PayloadCodec codec;
    ProgramList again(&codec, rig.dir.filePath("data"));
    QVERIFY(again.read("demo_progameList.json"));
    QCOMPARE(again.getProcessInfoList().size(), 4);
    QCOMPARE(entry(again, 3)->getId(), -1);
    QCOMPARE(again.programNames(), QStringList({ "a", "b", "c" }));
    QCOMPARE(entry(again, 1)->getPath(), rig.dir.filePath("apps/b"));
    QCOMPARE(entry(again, 1)->getImage(), QUrl::fromLocalFile(rig.dir.filePath("data/program_image/b.png")));
    QVERIFY(again.write("copy.json"));
    QCOMPARE(QJsonDocument::fromJson(codec.decode(QString::fromUtf8(readFile(rig.dir.filePath("data/copy.json"))))),
        QJsonDocument(stored));
}

void TestProgramList::unreadableOrMissingFileLeavesThePlaceholder()
{
    Rig rig;
    QVERIFY(rig.list.addPrograme(rig.program("a")));
    QVERIFY(!rig.list.read("nobody_progameList.json"));
    QCOMPARE(rig.list.getProcessInfoList().size(), 1);
    QCOMPARE(entry(rig.list, 0)->getId(), -1);
    QVERIFY(rig.list.programNames().isEmpty());

    // Not the codec's text: only the placeholder, and the text is kept aside, not lost.
    writeFile(rig.dir.filePath("data/bad_progameList.json"), "plain [1,2,3] garbage");
    QVERIFY(rig.list.read("bad_progameList.json"));
    QCOMPARE(rig.list.getProcessInfoList().size(), 1);
    QCOMPARE(readFile(rig.dir.filePath("data/bad_progameList.json.unreadable")), QByteArray("plain [1,2,3] garbage"));
    // The codec's text of something that is no array.
    writeFile(rig.dir.filePath("data/obj_progameList.json"), rig.codec.encode("{\"id\":1}").toUtf8());
    QVERIFY(rig.list.read("obj_progameList.json"));
    QCOMPARE(rig.list.getProcessInfoList().size(), 1);
}

void TestProgramList::writeFailureIsReported()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("data"), "a file where the folder should be");
    PayloadCodec codec;
    ProgramList list(&codec, dir.filePath("data"));
    QSignalSpy message(&list, &ProgramList::proxyClientMessage);
    QVERIFY(!list.write("x_progameList.json"));
    QCOMPARE(message.count(), 1);
    QVERIFY(message.first().first().toString().startsWith(QStringLiteral("文件保存失败")));
}

void TestProgramList::launchArgumentsSurviveTheCommandLine()
{
    const QStringList args = zq::programproxy::driverArguments(20301, { "" }, 45678);
    QCOMPARE(args.size(), 17);
    PayloadCodec codec;
    codec.setKey(PayloadCodec::driverKey());
    const QStringList plain { "SOCK5", "", "", "127.0.0.1:20301", "", ",", "45678", "10086", "0", "", "true",
        zq::programproxy::driverFixedProcessList(), "true", "true", zq::programproxy::kDriverProbeHost, "false",
        "false" };
    for (int i : { 3, 5, 6, 9, 11, 14 })
        QCOMPARE(codec.decodeText(args[i]), plain[i]);
    for (int i : { 0, 1, 2, 4, 7, 8, 10, 12, 13, 15, 16 })
        QCOMPARE(args[i], plain[i]);
    QVERIFY(plain[11].contains(QStringLiteral("QQ.exe,            QQApp.exe")));
    QCOMPARE(plain[11].count(QString(12, ' ')), 3);

    const QString line = zq::programproxy::driverCommandLine(args);
    QVERIFY(line.startsWith(QStringLiteral("\"SOCK5\" \"\" \"\" \"")));
    QCOMPARE(zq::platform::splitCommandLine(line), args);
}

void TestProgramList::commandLineSplitting_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("args");
    QTest::newRow("empty ones kept") << "\"a\" \"\" \"\" \"b c\"" << QStringList { "a", "", "", "b c" };
    QTest::newRow("bare words") << "  one\ttwo  " << QStringList { "one", "two" };
    QTest::newRow("nothing") << "" << QStringList {};
    QTest::newRow("joined quotes") << "x\"y z\"w" << QStringList { "xy zw" };
    QTest::newRow("backslashes alone") << "C:\\a\\b \\\\srv" << QStringList { "C:\\a\\b", "\\\\srv" };
    QTest::newRow("escaped quote") << "\"say \\\"hi\\\"\"" << QStringList { "say \"hi\"" };
    QTest::newRow("even backslashes") << "\"dir\\\\\" next" << QStringList { "dir\\", "next" };
    QTest::newRow("doubled quote inside") << "\"a\"\"b\"" << QStringList { "a\"b" };
    QTest::newRow("unclosed") << "\"open end" << QStringList { "open end" };
}

void TestProgramList::commandLineSplitting()
{
    QFETCH(QString, line);
    QFETCH(QStringList, args);
    QCOMPARE(zq::platform::splitCommandLine(line), args);
}

void TestProgramList::driverFilesAreReplacedSettingsNever()
{
    QTemporaryDir dir;
    const QString src = dir.filePath("src/");
    const QString dst = dir.filePath("dst/");
    writeFile(src + "Tarn_Driver", "new driver", true);
    writeFile(src + "sub/lib.so", "new lib");
    writeFile(src + "same", "same");
    writeFile(dst + "Tarn_Driver", "old driver");
    writeFile(dst + "sub/lib.so", "old lib");
    writeFile(dst + "same", "same");
    writeFile(dst + "extra", "the user's");

    FolderCopy::copyFolder(src, dst, FolderCopy::Existing::Keep);
    QCOMPARE(readFile(dst + "Tarn_Driver"), QByteArray("old driver"));
    QCOMPARE(readFile(dst + "sub/lib.so"), QByteArray("old lib"));

    FolderCopy::copyFolder(src, dst, FolderCopy::Existing::Replace);
    QCOMPARE(readFile(dst + "Tarn_Driver"), QByteArray("new driver"));
    QVERIFY(QFileInfo(dst + "Tarn_Driver").isExecutable());
    QCOMPARE(readFile(dst + "sub/lib.so"), QByteArray("new lib"));
    QCOMPARE(readFile(dst + "extra"), QByteArray("the user's"));
    // Nothing left behind by the swap.
    QCOMPARE(QDir(dst).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

QTEST_MAIN(TestProgramList)
#include "test_programlist.moc"
