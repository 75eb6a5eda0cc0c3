#include "helperprocess.h"

#include "constants.h"
#include "endpoints.h"
#include "portsearch.h"
#include "requestlayer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUdpSocket>

namespace zq::helper {

namespace {

constexpr int kStartWaitMs = 30000;
constexpr int kStatusPollMs = 1000;
constexpr int kRefreshDelayMs = 3000;
// How long a helper gets to leave on its own once its standard input is closed.
constexpr int kGracefulExitMs = 2000;
constexpr int kKillWaitMs = 2000;
constexpr qint64 kRestartWindowMs = 60000;
// The API port is searched in [10000, 12000).
constexpr int kApiPortLow = 10000;
constexpr int kApiPortHigh = 12000;

const char* stateName(QProcess::ProcessState state)
{
    const char* name = QMetaEnum::fromType<QProcess::ProcessState>().valueToKey(state);
    return name ? name : "Unknown";
}

} // namespace

HelperProcess::HelperProcess(RequestLayer* requests, zq::ServiceAddresses* addresses, QObject* parent)
    : QObject(parent)
    , m_requests(requests)
    , m_addresses(addresses)
    , m_program(QCoreApplication::applicationDirPath() + QLatin1Char('/') + zq::helperFileName())
    , m_process(new QProcess(this))
    , timer4ServicStatue(new QTimer(this))
    , m_restartTimer(new QTimer(this))
{
    timer4ServicStatue->setInterval(kStatusPollMs);
    connect(timer4ServicStatue, &QTimer::timeout, this, &HelperProcess::pollServerStatus);

    m_restartTimer->setSingleShot(true);
    connect(m_restartTimer, &QTimer::timeout, this, &HelperProcess::restartAfterExit);

    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        qDebug() << "helper process error:" << error << m_process->errorString();
    });

    m_clock.start();

    if (m_requests) {
        m_requests->setHandler(
            Route::ServerStatus, [this](const QJsonObject& reply, const QString&) { dealGetServerStatus(reply); });
        m_requests->setFailureHook(Route::ServerStatus, [this]() { onStatusRequestFailed(); });
    }
}

HelperProcess::~HelperProcess()
{
    // Nothing of ours may react to the helper's end any more; it must not outlive us.
    m_stopping = true;
    m_restartTimer->stop();
    timer4ServicStatue->stop();
    m_process->disconnect(this);
    closeProcess();
}

void HelperProcess::setNotificationSocket(QUdpSocket* socket)
{
    if (m_notificationSocket)
        disconnect(m_notificationSocket, nullptr, this, nullptr);
    m_notificationSocket = socket;
    if (socket)
        connect(socket, &QUdpSocket::readyRead, this, &HelperProcess::recvUdpSocketFromLocalProxy);
}

void HelperProcess::setRestartPolicy(int perMinute, int delayMs)
{
    m_restartsPerMinute = perMinute;
    m_restartDelayMs = delayMs;
}

void HelperProcess::connectProcess()
{
    connect(m_process, &QProcess::started, this, &HelperProcess::onProcessStart, Qt::UniqueConnection);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        &HelperProcess::onProcessExited, Qt::UniqueConnection);
    connect(m_process, &QProcess::readyReadStandardOutput, this, &HelperProcess::readExeStandardOutPut,
        Qt::UniqueConnection);
    connect(
        m_process, &QProcess::readyReadStandardError, this, &HelperProcess::readExeErrorOutPut, Qt::UniqueConnection);
}

void HelperProcess::disconnectProcess()
{
    disconnect(m_process, &QProcess::started, this, &HelperProcess::onProcessStart);
    disconnect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        &HelperProcess::onProcessExited);
    disconnect(m_process, &QProcess::readyReadStandardOutput, this, &HelperProcess::readExeStandardOutPut);
    disconnect(m_process, &QProcess::readyReadStandardError, this, &HelperProcess::readExeErrorOutPut);
}

QString HelperProcess::startArgument(const QString& name) const
{
    const QString prefix = QLatin1Char('-') + name + QLatin1Char('=');
    for (const QString& argument : m_lastArguments) {
        if (argument.startsWith(prefix))
            return argument.mid(prefix.size());
    }
    return {};
}

bool HelperProcess::isRunning() const
{
    return m_process->state() != QProcess::NotRunning;
}

bool HelperProcess::startProxy()
{
    if (m_hooks.saveConfig)
        m_hooks.saveConfig();

    if (m_process->state() == QProcess::Running) {
        qDebug() << m_program << "proxy already start--";
        return false;
    }
    qDebug() << m_program << "is not start";
    // A start by hand supersedes a pending restart.
    m_restartTimer->stop();

    connectProcess();

    m_apiPort = zq::ports::firstFreeTcpPort(kApiPortLow, kApiPortHigh);
    if (m_addresses)
        m_addresses->setLocalPort(m_apiPort);

    const LaunchSettings s = m_hooks.settings ? m_hooks.settings() : LaunchSettings {};
    m_lastArguments = QStringList {
        QStringLiteral("-api_port=%1").arg(m_apiPort),
        QStringLiteral("-user=") + s.userName,
        QStringLiteral("-pwd=") + s.password,
        QStringLiteral("-proxy_port_start=%1").arg(s.startPort),
        QStringLiteral("-proxy_port_num=%1").arg(s.portNum),
        QStringLiteral("-program_port=%1").arg(s.programPort),
        QStringLiteral("-uuid=") + s.unionId,
        QStringLiteral("-inner_ip=") + s.localIp,
        QStringLiteral("-udp_port=%1").arg(s.notificationPort),
        QStringLiteral("-sessionid=") + s.sessionId,
    };
    // The password stays out of the log.
    QStringList shown = m_lastArguments;
    shown[2] = QStringLiteral("-pwd=") + QString(s.password.size(), QLatin1Char('*'));
    qDebug() << "helper arguments:" << shown;

    m_process->setProgram(m_program);
    m_process->setArguments(m_lastArguments);
    m_process->start();
    m_process->waitForStarted(kStartWaitMs);

    if (m_process->state() != QProcess::NotRunning) {
        qDebug() << " start proxy success----";
        emit proxyClientMessage(QStringLiteral("Start success!"));
        if (m_hooks.started)
            m_hooks.started();
        m_pollClock.start();
        timer4ServicStatue->start(kStatusPollMs);
        m_started = true;
        return true;
    }
    qDebug() << " start proxy failed ----";
    emit proxyClientMessage(QStringLiteral("Start failed:%1").arg(m_apiPort));
    return false;
}

void HelperProcess::stopProxy()
{
    if (m_hooks.stopped)
        m_hooks.stopped();
    timer4ServicStatue->stop();
    m_restartTimer->stop();
    m_started = false;

    // On purpose: the exit that follows is not a crash to recover from.
    m_stopping = true;
    closeProcess();
    m_stopping = false;
    qDebug() << "m_process->state():" << stateName(m_process->state());
}

void HelperProcess::dropStatusConnections()
{
    for (const QPointer<QNetworkAccessManager>& manager : qAsConst(m_statusManagers)) {
        if (manager)
            manager->clearConnectionCache();
    }
    m_statusManagers.clear();
}

void HelperProcess::closeProcess()
{
    // The helper's API server waits for idle keep-alive connections before it leaves.
    dropStatusConnections();
    if (m_process->state() != QProcess::NotRunning) {
        // Closing its standard input lets the helper release its ports and leave cleanly.
        m_process->closeWriteChannel();
        if (!m_process->waitForFinished(kGracefulExitMs)) {
            m_process->kill();
            m_process->waitForFinished(kKillWaitMs);
        }
    }
    m_process->close();
}

void HelperProcess::getServerStatus()
{
    if (!m_requests || !m_addresses)
        return;
    m_pendingStatus = m_requests->httpRequestByPost(m_addresses->url(zq::ep::ServerStatus), RequestLayer::newForm());
    if (m_pendingStatus && !m_statusManagers.contains(m_pendingStatus->manager()))
        m_statusManagers.append(m_pendingStatus->manager());
}

void HelperProcess::pollServerStatus()
{
    qDebug() << QDateTime::currentSecsSinceEpoch() << "timer4ServicStatue";
    if (pollExpired()) {
        giveUpPolling();
        return;
    }
    // One status request at a time: a slow helper must not collect a queue of them, each of
    // which would re-run the start-up work when answered.
    if (m_pendingStatus)
        return;
    getServerStatus();
}

bool HelperProcess::pollExpired() const
{
    return m_pollClock.isValid() && m_pollClock.elapsed() >= m_pollLimitMs;
}

void HelperProcess::onStatusRequestFailed()
{
    // Failures of requests sent outside the poll, or after it ended, change nothing.
    if (!timer4ServicStatue->isActive())
        return;
    // The helper is still opening its ports: the next tick asks again.
    if (m_process->state() == QProcess::Running && !pollExpired())
        return;
    giveUpPolling();
}

void HelperProcess::giveUpPolling()
{
    timer4ServicStatue->stop();
    qDebug() << "proxy local start fail!"
             << "no status reply, helper state" << stateName(m_process->state());
    emit proxyClientMessage(tr("The local proxy did not answer within %1 s").arg(m_pollLimitMs / 1000));
    emit sendServerStatus(false, QString());
}

void HelperProcess::dealGetServerStatus(const QJsonObject& reply)
{
    qDebug() << "dealGetServerStatus:" << reply;
    if (reply.value(QStringLiteral("code")).toVariant().toInt() != 0) {
        qDebug() << "proxy local start fail!";
        timer4ServicStatue->stop();
        emit sendServerStatus(false, QString());
        return;
    }
    timer4ServicStatue->stop();
    m_started = true;
    if (m_hooks.doLocalEvent)
        m_hooks.doLocalEvent();
    const QJsonValue data = reply.value(QStringLiteral("data"));
    m_proxyServerAddress = data.isString() ? data.toString() : data.toVariant().toString();
    qDebug() << "proxy local start succ, proxyServerAddress=" << m_proxyServerAddress;
    emit sendServerStatus(true, m_proxyServerAddress);
    if (m_hooks.setAllTodayPortSession)
        m_hooks.setAllTodayPortSession();
}

void HelperProcess::onProcessStart()
{
    qDebug().noquote() << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
            + QStringLiteral(": proxy start succ!");
    emit proxyClientMessage(QStringLiteral("proxy start succed!!"));
}

void HelperProcess::onProcessExited(int exitCode, QProcess::ExitStatus status)
{
    onProcessFinished(exitCode);
    if (m_stopping || !m_started)
        return;

    // It left on its own while it was meant to run. The port table is kept: the restarted
    // helper's first status reply re-runs the local event pass and re-binds the today lists,
    // so the user's ports come back without being cleared in between.
    m_started = false;
    timer4ServicStatue->stop();
    const QString why = status == QProcess::CrashExit
        ? tr("Local proxy crashed (signal %1)").arg(exitCode)
        : tr("Local proxy stopped unexpectedly (exit code %1)").arg(exitCode);

    const qint64 now = m_clock.elapsed();
    while (!m_restartTimes.isEmpty() && now - m_restartTimes.first() >= kRestartWindowMs)
        m_restartTimes.removeFirst();
    if (m_restartTimes.size() >= m_restartsPerMinute) {
        qDebug() << "helper restart budget spent:" << m_restartTimes.size() << "in the last minute";
        emit proxyClientMessage(tr("%1; it was not restarted because it failed %2 times within a minute")
                                    .arg(why)
                                    .arg(m_restartTimes.size()));
        return;
    }
    m_restartTimes.append(now);
    emit proxyClientMessage(tr("%1, restarting").arg(why));
    m_restartTimer->start(m_restartDelayMs);
}

void HelperProcess::restartAfterExit()
{
    if (m_stopping || m_process->state() != QProcess::NotRunning)
        return;
    qDebug() << "restarting the helper";
    startProxy();
}

void HelperProcess::onProcessFinished(int exitCode)
{
    qDebug() << "process exit code:" << exitCode;
    disconnectProcess();
}

void HelperProcess::readExeStandardOutPut()
{
    // Not interpreted; drained so it does not pile up for the helper's whole life.
    m_process->readAllStandardOutput();
}

void HelperProcess::readExeErrorOutPut()
{
    const QByteArray text = m_process->readAllStandardError();
    if (!text.isEmpty())
        qWarning().noquote() << QString::fromUtf8(text).trimmed();
}

void HelperProcess::recvUdpSocketFromLocalProxy()
{
    if (!m_notificationSocket)
        return;
    while (m_notificationSocket->hasPendingDatagrams()) {
        QByteArray data;
        data.resize(int(qMax<qint64>(0, m_notificationSocket->pendingDatagramSize())));
        const qint64 read = m_notificationSocket->readDatagram(data.data(), data.size());
        data.resize(int(qMax<qint64>(0, read)));
        qDebug() << "recvUdpSocketFromLocalProxy data:" << data;

        QJsonParseError error {};
        QJsonDocument::fromJson(data, &error);
        if (error.error != QJsonParseError::NoError)
            qDebug() << "notification is not JSON:" << error.errorString();

        // Each notification schedules its own refresh.
        QTimer::singleShot(kRefreshDelayMs, Qt::PreciseTimer, this, [this]() {
            if (m_hooks.refreshAfterNotification)
                m_hooks.refreshAfterNotification();
        });
    }
}

} // namespace zq::helper
