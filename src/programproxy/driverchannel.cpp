#include "driverchannel.h"

#include "driverarguments.h"
#include "platform.h"

#include <QCoreApplication>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>
#include <QtConcurrent>
#include <chrono>

namespace zq::programproxy {

namespace {

constexpr int kReceiveTimeoutMs = 200;
constexpr int kDatagramSize = 512;

qint64 steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

DriverChannel::DriverChannel(const QString& driverDir, QObject* parent)
    : QObject(parent)
    , m_driverDir(driverDir)
{
    // The application waits for the global thread pool when it ends; the loop must not hold it.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &DriverChannel::shutdown);
}

DriverChannel::~DriverChannel()
{
    shutdown();
}

QString DriverChannel::driverProgram() const
{
    return m_driverDir + QLatin1Char('/') + zq::platform::exeFileName(QStringLiteral("Tarn_Driver"));
}

QString DriverChannel::lastCommandLine() const
{
    QMutexLocker lock(&m_commandLineLock);
    return m_lastCommandLine;
}

void DriverChannel::startProgramProxyThread(int programPort, const QStringList& entryNames)
{
    // A loop still at work (launching, or waiting for its driver's answer) counts as running too,
    // so a second call never starts a second loop and driver.
    if (m_isDriverRun || m_serving) {
        qDebug() << "进程已经在运行--->";
        return;
    }
    qDebug() << "startProgramProxyThread-->";
    m_loop.waitForFinished(); // the last loop has left serve(); its task is done
    m_serving = true;
    m_stopAt = -1;
    m_sendUdpPort = 0;
    m_loop = QtConcurrent::run(
        QThreadPool::globalInstance(), [this, programPort, entryNames]() { serve(programPort, entryNames); });
}

void DriverChannel::stop(int graceMs)
{
    send(QStringLiteral("Exit"));
    if (m_serving) {
        const qint64 at = steadyMs() + qMax(0, graceMs);
        const qint64 current = m_stopAt;
        if (current < 0 || at < current)
            m_stopAt = at;
    }
}

void DriverChannel::shutdown()
{
    stop(0);
    m_loop.waitForFinished();
}

bool DriverChannel::stopDue() const
{
    const qint64 at = m_stopAt;
    return at >= 0 && steadyMs() >= at;
}

bool DriverChannel::send(const QString& text)
{
    if (!m_isDriverRun)
        return false;
    qDebug() << "send to driver:" << text << "port" << m_sendUdpPort.load();
    return zq::platform::LoopbackUdp::sendTo(quint16(m_sendUdpPort.load()), text.toUtf8());
}

bool DriverChannel::checkDriverStatus() const
{
    const QString name = zq::platform::exeFileName(QStringLiteral("Tarn_Driver"));
    if (!zq::platform::processIdsByName(name).isEmpty()) {
        qDebug() << name + QStringLiteral(" is running ");
        return true;
    }
    qDebug() << name + QStringLiteral(" is stop ");
    return false;
}

void DriverChannel::serve(int programPort, const QStringList& entryNames)
{
    using zq::platform::LoopbackUdp;
    struct Done {
        DriverChannel* channel;
        ~Done() { channel->m_serving = false; }
    } done { this };
    // Asked to stop before this task even ran (a wait may run it on the waiting thread).
    if (stopDue())
        return;

    if (!LoopbackUdp::startup()) {
        qDebug() << "WSAStartup error";
        return;
    }
    struct Cleanup {
        ~Cleanup() { LoopbackUdp::cleanup(); }
    } cleanup;
    LoopbackUdp socket;
    if (!socket.open()) {
        qDebug() << "Failed to create driver server socket ！\n";
        return;
    }
    socket.setReceiveTimeout(kReceiveTimeoutMs);
    const int bound = socket.bindLoopback(0);
    if (bound != 0) {
        qDebug().noquote() << QStringLiteral("Driver server socket binding failed: %1 ...").arg(bound);
        return;
    }
    m_uiUdpPort = socket.localPort();
    qDebug() << "uiUdpPort = " << m_uiUdpPort.load();

    if (!launch(programPort, entryNames)) {
        qDebug() << "driver not started; its server ends";
        return;
    }

    char buffer[kDatagramSize + 1];
    for (;;) {
        if (stopDue()) {
            // No "exitOK" in time: the driver is taken as gone so that sends stop.
            m_isDriverRun = false;
            qDebug() << "driver server ends without exitOK";
            return;
        }
        const int n = socket.receive(buffer, kDatagramSize);
        if (n < 0)
            continue;
        if (!handle(QByteArray(buffer, n)))
            return;
    }
}

bool DriverChannel::launch(int programPort, const QStringList& entryNames)
{
    qDebug() << "runProgramProxy-->";
    const QString commandLine = driverCommandLine(driverArguments(programPort, entryNames, m_uiUdpPort));
    qDebug().noquote() << commandLine;
    {
        QMutexLocker lock(&m_commandLineLock);
        m_lastCommandLine = commandLine;
    }
    const int result = zq::platform::runElevatedCommand(driverProgram(), commandLine, QString());
    if (result <= 32) {
        qDebug() << "执行失败-:" << result;
        m_isDriverRun = false;
        return false;
    }
    qDebug() << "执行成功-:" << result;
    m_isDriverRun = true;
    return true;
}

bool DriverChannel::handle(const QByteArray& datagram)
{
    // The text ends at its first NUL byte.
    const int end = datagram.indexOf('\0');
    const QByteArray text = end < 0 ? datagram : datagram.left(end);
    qDebug() << "driver says:" << text;
    const QJsonObject message = QJsonDocument::fromJson(text).object();
    const QString state = message.value(QLatin1String("state")).toString();
    if (state == QLatin1String("runOK")) {
        qDebug() << "runOK";
        emit programProxyStatus(QStringLiteral("Start program success!"));
    } else if (state == QLatin1String("listenPort")) {
        bool ok = false;
        const int port = message.value(QLatin1String("Port")).toVariant().toString().toInt(&ok);
        if (ok && port > 0 && port < 65536) {
            m_sendUdpPort = port;
            qDebug() << "sendUdpPort=" << port;
        }
    } else if (state == QLatin1String("addProcessOK")) {
        qDebug() << "addProcessOK";
        emit programProxyStatus(QStringLiteral("Add program success!"));
    } else if (state == QLatin1String("delProcess")) {
        qDebug() << "delProcessOK";
        emit programProxyStatus(QStringLiteral("Delete program success!"));
    } else if (state == QLatin1String("exitOK")) {
        m_isDriverRun = false;
        qDebug() << "exitOK";
        emit programProxyStatus(QStringLiteral("Strop program success!"));
        return false;
    }
    return true;
}

} // namespace zq::programproxy
