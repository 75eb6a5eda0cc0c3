// The scaling Qt reads only before the application object exists: decided from the X server's
// screen size (a real Xvfb) before the object is built, and the set-up reply it is read from.
#include "platform.h"
#include "x11.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace zq::platform;

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void setupReplies();
    void xauthorityCookies();
    void attributesBeforeTheApplication_data();
    void attributesBeforeTheApplication();
    void noDisplayMeansNoScaling();
};

namespace {

void le16(QByteArray& b, int v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}

// A successful set-up reply with the given screens, each with one depth of one visual.
QByteArray setupReply(const QList<QSize>& screens, const QByteArray& vendor = "Test vendor")
{
    QByteArray body(32, '\0');
    body[16] = char(vendor.size());
    body[20] = char(screens.size());
    body[21] = 1; // one pixmap format
    body.append(vendor).append(QByteArray((4 - vendor.size() % 4) % 4, '\0'));
    body.append(QByteArray(8, '\0'));
    for (const QSize& size : screens) {
        QByteArray screen(20, '\0');
        le16(screen, size.width());
        le16(screen, size.height());
        screen.append(QByteArray(15, '\0'));
        screen.append(char(1)); // depths
        QByteArray depth(2, '\0');
        le16(depth, 1); // visuals
        depth.append(QByteArray(4, '\0')).append(QByteArray(24, '\0'));
        body.append(screen).append(depth);
    }
    QByteArray reply;
    reply.append(char(1)).append('\0');
    le16(reply, 11);
    le16(reply, 0);
    le16(reply, body.size() / 4);
    return reply + body;
}

QByteArray authEntry(
    int family, const QByteArray& address, const QByteArray& number, const QByteArray& name, const QByteArray& data)
{
    QByteArray out;
    auto be = [&out](int v) {
        out.append(char((v >> 8) & 0xff));
        out.append(char(v & 0xff));
    };
    be(family);
    for (const QByteArray& field : { address, number, name, data }) {
        be(field.size());
        out.append(field);
    }
    return out;
}

// An Xvfb of the given screen size on a display number it picks; stopped by the destructor.
class Xvfb {
public:
    bool start(const QSize& size)
    {
        m_process.start(QStringLiteral("Xvfb"),
            { "-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()) });
        if (!m_process.waitForStarted(5000))
            return false;
        if (!QTest::qWaitFor([this]() { return m_process.canReadLine(); }, 10000))
            return false;
        bool ok = false;
        m_display = m_process.readLine().trimmed().toInt(&ok);
        return ok;
    }
    ~Xvfb()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    QString display() const { return QStringLiteral(":%1").arg(m_display); }

private:
    QProcess m_process;
    int m_display = -1;
};

struct ProbeResult {
    QStringList before, after;
    QString log;
};

ProbeResult runProbe(const QString& display)
{
    QProcess probe;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    env.remove(QStringLiteral("DISPLAY"));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    probe.setProcessEnvironment(env);
    probe.start(QStringLiteral(STARTUP_PROBE), QStringList());
    probe.waitForFinished(15000);
    ProbeResult result;
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(' ');
        if (fields.first() == QLatin1String("before"))
            result.before = fields.mid(1);
        else if (fields.first() == QLatin1String("after"))
            result.after = fields.mid(1);
    }
    result.log = QString::fromUtf8(probe.readAllStandardError());
    return result;
}

} // namespace

void TestStartup::setupReplies()
{
    const QByteArray two = setupReply({ QSize(2560, 1440), QSize(1024, 768) }, "Odd");
    QCOMPARE(x11::setupReplySize(two.left(8)), two.size());
    QCOMPARE(x11::setupReplySize(two.left(3)), 8);
    QCOMPARE(x11::screenSizeFromSetupReply(two, 0), QSize(2560, 1440));
    QCOMPARE(x11::screenSizeFromSetupReply(two, 1), QSize(1024, 768));
    QCOMPARE(x11::screenSizeFromSetupReply(two, 2), QSize());
    QCOMPARE(x11::screenSizeFromSetupReply(two, -1), QSize());
    QCOMPARE(x11::screenSizeFromSetupReply(two.chopped(4), 1), QSize()); // cut short
    QByteArray refused = two;
    refused[0] = 0;
    QCOMPARE(x11::screenSizeFromSetupReply(refused, 0), QSize());
    QCOMPARE(x11::screenSizeFromSetupReply(QByteArray(), 0), QSize());

    QCOMPARE(x11::setupRequest({}).toHex(), QByteArray("6c000b000000000000000000"));
    QCOMPARE(x11::setupRequest("0123456789abcdef").size(), 12 + 20 + 16);

    QCOMPARE(x11::parseDisplayName(":0").display, 0);
    QCOMPARE(x11::parseDisplayName(":12.1").screen, 1);
    QVERIFY(x11::parseDisplayName("unix:3").valid);
    QVERIFY(!x11::parseDisplayName("remote:0").valid); // not a local socket
    QVERIFY(!x11::parseDisplayName("").valid);
    QVERIFY(!x11::parseDisplayName(":x").valid);
}

void TestStartup::xauthorityCookies()
{
    const QByteArray file = authEntry(256, "otherhost", "5", "MIT-MAGIC-COOKIE-1", "wrong host")
        + authEntry(256, "here", "4", "MIT-MAGIC-COOKIE-1", "wrong display")
        + authEntry(256, "here", "5", "XDM-AUTHORIZATION-1", "wrong kind")
        + authEntry(256, "here", "5", "MIT-MAGIC-COOKIE-1", "right");
    QCOMPARE(x11::cookieFor(file, "here", 5), QByteArray("right"));
    QCOMPARE(x11::cookieFor(file, "here", 7), QByteArray());
    QCOMPARE(x11::cookieFor(authEntry(65535, "", "", "MIT-MAGIC-COOKIE-1", "wild"), "any", 9), QByteArray("wild"));
    QCOMPARE(x11::cookieFor(file.left(file.size() - 3), "here", 5), QByteArray()); // cut short
    QCOMPARE(x11::cookieFor(QByteArray(), "here", 5), QByteArray());
}

void TestStartup::attributesBeforeTheApplication_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QStringList>("expected"); // high-DPI scaling, high-DPI pixmaps, QT_SCALE_FACTOR
    QTest::newRow("1920x1080: factor 1") << QSize(1920, 1080) << QStringList({ "0", "1", "1" });
    QTest::newRow("2560x1440: scaled up") << QSize(2560, 1440) << QStringList({ "1", "0", "-" });
    QTest::newRow("3840x1080: not larger both ways") << QSize(3840, 1080) << QStringList({ "0", "1", "1" });
}

void TestStartup::attributesBeforeTheApplication()
{
    QFETCH(QSize, screen);
    QFETCH(QStringList, expected);
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    Xvfb xvfb;
    QVERIFY(xvfb.start(screen));

    // The platform layer reads the size without any application object of its own.
    const QByteArray saved = qgetenv("DISPLAY");
    qputenv("DISPLAY", xvfb.display().toUtf8());
    const QSize size = monitorSize();
    qputenv("DISPLAY", saved);
    QCOMPARE(size, screen);

    const ProbeResult result = runProbe(xvfb.display());
    QCOMPARE(result.before, expected);
    QCOMPARE(result.after, expected);
    QVERIFY2(!result.log.contains(QLatin1String("must be set before")), qPrintable(result.log));
    QVERIFY2(result.log.contains(QLatin1String("scaleFactor:")), qPrintable(result.log));
}

void TestStartup::noDisplayMeansNoScaling()
{
    const ProbeResult result = runProbe(QString());
    QCOMPARE(result.before, QStringList({ "0", "1", "1" }));
    QVERIFY2(!result.log.contains(QLatin1String("must be set before")), qPrintable(result.log));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
