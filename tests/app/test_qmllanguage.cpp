// Language switching against a real engine and a real compiled translation file, which the
// build puts in language/ beside this test program.
#include "qmllanguage.h"

#include <QQmlApplicationEngine>
#include <QtTest>

namespace {

const QString kEnglish = QStringLiteral("Settings");
const QString kChinese = QStringLiteral("設定");

const QByteArray kProbe = "import QtQuick 2.12\n"
                          "Item {\n"
                          "    property string suffix: \"\"\n"
                          "    property string title: qsTr(\"Settings\") + suffix\n"
                          "    function fresh() { return qsTr(\"Settings\") }\n"
                          "}\n";

} // namespace

class TestQmlLanguage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void languageIndex_data();
    void languageIndex();
    void chineseOutlivesTheCall();
    void otherIndexesAreEnglish();
    void systemLanguage();
    void missingFileStaysEnglish();

private:
    QString title() const { return m_root->property("title").toString(); }
    QString fresh() const
    {
        QVariant value;
        QMetaObject::invokeMethod(m_root, "fresh", Q_RETURN_ARG(QVariant, value));
        return value.toString();
    }
    // Forces a new evaluation of the title binding, as any later change in the window would.
    void touch(const QString& suffix) { m_root->setProperty("suffix", suffix); }

    QQmlApplicationEngine* m_engine = nullptr;
    QmlLanguage* m_language = nullptr;
    QObject* m_root = nullptr;
};

void TestQmlLanguage::initTestCase()
{
    QmlLanguage language(QCoreApplication::instance(), nullptr);
    QVERIFY2(QFile::exists(language.translationFile()), qPrintable(language.translationFile()));
}

void TestQmlLanguage::init()
{
    m_engine = new QQmlApplicationEngine;
    m_language = new QmlLanguage(QCoreApplication::instance(), m_engine);
    m_engine->loadData(kProbe, QUrl(QStringLiteral("file:///langtest/LangProbe.qml")));
    QCOMPARE(m_engine->rootObjects().size(), 1);
    m_root = m_engine->rootObjects().first();
    QCOMPARE(title(), kEnglish);
}

void TestQmlLanguage::cleanup()
{
    delete m_language;
    delete m_engine;
    m_language = nullptr;
    m_engine = nullptr;
    m_root = nullptr;
    // No translator may outlive its QmlLanguage.
    QCOMPARE(QCoreApplication::translate("LangProbe", "Settings"), kEnglish);
}

void TestQmlLanguage::languageIndex_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("index");
    QTest::newRow("zh_CN") << "zh_CN" << 1;
    QTest::newRow("zh_TW") << "zh_TW" << 1;
    QTest::newRow("zh_Hant_HK") << "zh_Hant_HK" << 1;
    QTest::newRow("zh_SG") << "zh_SG" << 1;
    QTest::newRow("en_US") << "en_US" << 0;
    QTest::newRow("ja_JP") << "ja_JP" << 0;
}

void TestQmlLanguage::languageIndex()
{
    QFETCH(QString, locale);
    QTEST(QmlLanguage::languageIndexFor(QLocale(locale)), "index");
}

void TestQmlLanguage::chineseOutlivesTheCall()
{
    m_language->setLanguage(1);
    QCOMPARE(title(), kChinese);
    // After the call: a binding evaluated again, a text asked for anew, and C++ tr() all
    // still see Chinese.
    touch(QStringLiteral("!"));
    QCOMPARE(title(), kChinese + QStringLiteral("!"));
    QCOMPARE(fresh(), kChinese);
    QCOMPARE(QCoreApplication::translate("LangProbe", "Settings"), kChinese);

    // Asking again, as the window does after every screen change, changes nothing.
    m_language->setLanguage(1);
    m_language->setLanguage(1);
    touch(QStringLiteral("?"));
    QCOMPARE(title(), kChinese + QStringLiteral("?"));

    m_language->setLanguage(0);
    QCOMPARE(title(), kEnglish + QStringLiteral("?"));
    touch(QString());
    QCOMPARE(title(), kEnglish);
    QCOMPARE(fresh(), kEnglish);
}

void TestQmlLanguage::otherIndexesAreEnglish()
{
    m_language->setLanguage(1);
    m_language->setLanguage(5);
    QCOMPARE(title(), kEnglish);
    QCOMPARE(fresh(), kEnglish);
    m_language->setLanguage(-1);
    QCOMPARE(fresh(), kEnglish);
}

void TestQmlLanguage::systemLanguage()
{
    const bool chinese = m_language->getLocalLanguage() == 1;
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^system lang:")));
    m_language->setLanguage(chinese ? 0 : 1);
    m_language->setLocalLanguage();
    QCOMPARE(fresh(), chinese ? kChinese : kEnglish);
}

void TestQmlLanguage::missingFileStaysEnglish()
{
    // Move the translation aside for this case only; it comes back whatever happens.
    const QString file = m_language->translationFile();
    const QString aside = file + QStringLiteral(".aside");
    QFile::remove(aside);
    QVERIFY(QFile::rename(file, aside));
    struct Restore {
        QString from, to;
        ~Restore() { QFile::rename(from, to); }
    } restore { aside, file };

    QTest::ignoreMessage(QtDebugMsg, "installTranslator fail!");
    m_language->setLanguage(1);
    touch(QStringLiteral("!"));
    QCOMPARE(title(), kEnglish + QStringLiteral("!"));
    QCOMPARE(fresh(), kEnglish);
}

QTEST_MAIN(TestQmlLanguage)
#include "test_qmllanguage.moc"
