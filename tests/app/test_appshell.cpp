#include "openglprobe.h"
#include "qmllanguage.h"
#include "scalefactor.h"

#include <QtTest>

class TestAppShell : public QObject {
    Q_OBJECT
private slots:
    void scaleFactor_data();
    void scaleFactor();
    void scaleFactorApplied();
    void softwareRendererRule();
    void priceWords_data();
    void priceWords();
};

void TestAppShell::scaleFactor_data()
{
    QTest::addColumn<QSize>("monitor");
    QTest::addColumn<double>("horizontal");
    QTest::addColumn<double>("vertical");
    QTest::addColumn<double>("factor");
    QTest::newRow("1920x1080") << QSize(1920, 1080) << 1.0 << 1.0 << 1.0;
    QTest::newRow("wide but not tall") << QSize(3840, 1080) << 1.0 << 1.0 << 1.0;
    QTest::newRow("small") << QSize(1366, 768) << 1.0 << 1.0 << 1.0;
    QTest::newRow("2560x1440") << QSize(2560, 1440) << 2560 / 1920.0 << 1440 / 1080.0 << 2560 / 1920.0;
    QTest::newRow("3840x1600") << QSize(3840, 1600) << 2.0 << 1600 / 1080.0 << 1600 / 1080.0;
    QTest::newRow("no screen") << QSize() << 1.0 << 1.0 << 1.0;
}

void TestAppShell::scaleFactor()
{
    QFETCH(QSize, monitor);
    const ScaleFactor s = ScaleFactor::compute(monitor);
    QTEST(s.horizontal, "horizontal");
    QTEST(s.vertical, "vertical");
    QTEST(s.factor, "factor");
}

void TestAppShell::scaleFactorApplied()
{
    qunsetenv("QT_SCALE_FACTOR");
    applyScaleFactor(1.0);
    QCOMPARE(qgetenv("QT_SCALE_FACTOR"), QByteArray("1"));
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps));
    qunsetenv("QT_SCALE_FACTOR");
    applyScaleFactor(ScaleFactor::compute(QSize(2560, 1440)).factor);
    QVERIFY(qgetenv("QT_SCALE_FACTOR").isEmpty());
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling));
    QCOMPARE(QByteArray::number(ScaleFactor::compute(QSize(2560, 1440)).factor, 'g', 6), QByteArray("1.33333"));
}

void TestAppShell::softwareRendererRule()
{
    QVERIFY(OpenGLProbe::needsSoftware(2));
    QVERIFY(OpenGLProbe::needsSoftware(0));
    QVERIFY(!OpenGLProbe::needsSoftware(3));
    // Without a usable OpenGL the probe must fall back, never crash.
    OpenGLProbe probe;
    probe.run();
    QVERIFY(probe.usedSoftware() == OpenGLProbe::needsSoftware(probe.majorVersion()));
}

void TestAppShell::priceWords_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Days zh") << 1 << "Days"
                             << "日";
    QTest::newRow("Day zh") << 1 << "Day"
                            << "日";
    QTest::newRow("Days en") << 0 << "Days"
                             << "Days";
    QTest::newRow("days lower") << 1 << "days"
                                << "days";
    QTest::newRow("Total") << 1 << "Total"
                           << "總價";
    QTest::newRow("NUMBER") << 1 << "NUMBER"
                            << "個數";
    QTest::newRow("index 5") << 5 << "Total"
                             << "Total";
    QTest::newRow("SELECT") << 1 << "SELECT"
                            << "選定";
    QTest::newRow("Per") << 1 << "Per"
                         << "每";
    QTest::newRow("REGION") << 1 << "REGION"
                            << "地區";
    QTest::newRow("other word") << 1 << "Price"
                                << "Price";
}

void TestAppShell::priceWords()
{
    QFETCH(int, index);
    QFETCH(QString, word);
    QmlLanguage language(QCoreApplication::instance(), nullptr);
    QTEST(language.transLanguageByIndex(index, word), "expected");
}

QTEST_MAIN(TestAppShell)
#include "test_appshell.moc"
