#pragma once
// The local proxy helper (clientProxy) as a child process: starting it with the account and the
// port range, polling its API until it answers, taking its change notifications, restarting it
// when it dies on its own, and stopping it. The helper exits when its standard input closes, so
// it never outlives the client, even one killed outright.

#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class QUdpSocket;
class RequestLayer;

namespace zq {
class ServiceAddresses;
}

namespace zq::helper {

// What the helper is started with (the ten arguments), read at each start.
struct LaunchSettings {
    QString userName;
    QString password;
    int startPort = 0;
    int portNum = 0;
    int programPort = 0;
    QString unionId;
    QString localIp;
    int notificationPort = 0;
    QString sessionId;
};

// Work that belongs to other components, run at the moments this one decides.
struct HelperHooks {
    std::function<LaunchSettings()> settings;
    // Before each start: save the settings file.
    std::function<void()> saveConfig;
    // The helper started (by a call or a restart): start the upkeep timers.
    std::function<void()> started;
    // stopProxy: clear the port table's bindings and stop the upkeep timers.
    std::function<void()> stopped;
    // First successful status reply: the local event pass, then re-binding the today lists.
    std::function<void()> doLocalEvent;
    std::function<void()> setAllTodayPortSession;
    // 3000 ms after each notification datagram: IP count and today lists.
    std::function<void()> refreshAfterNotification;
};

class HelperProcess : public QObject {
    Q_OBJECT
public:
    // requests and addresses are the Controller's; addresses' local base follows the API port.
    HelperProcess(RequestLayer* requests, zq::ServiceAddresses* addresses, QObject* parent = nullptr);
    ~HelperProcess() override;

    void setHooks(HelperHooks hooks) { m_hooks = std::move(hooks); }
    // Full path of the helper executable (default: the application folder + clientProxy).
    void setProgram(const QString& program) { m_program = program; }
    QString program() const { return m_program; }
    // The datagrams of this socket are the helper's change notifications.
    void setNotificationSocket(QUdpSocket* socket);

    bool startProxy();
    // Stops the helper on purpose (no restart) and clears the bindings through the hook.
    void stopProxy();
    void getServerStatus();
    void dealGetServerStatus(const QJsonObject& reply);

    bool isStarted() const { return m_started; }
    void setStarted(bool value) { m_started = value; }
    int apiPort() const { return m_apiPort; }
    QString proxyServerAddress() const { return m_proxyServerAddress; }
    void setProxyServerAddress(const QString& address) { m_proxyServerAddress = address; }
    // The arguments of the last start, as passed.
    QStringList lastArguments() const { return m_lastArguments; }
    // The value of "-name=" in the last start's arguments; empty before the first start.
    QString startArgument(const QString& name) const;
    // Whether the helper process is running now.
    bool isRunning() const;
    QProcess* process() const { return m_process; }
    QTimer* statusTimer() const { return timer4ServicStatue; }

    // Tuning for tests: how long the status poll keeps trying while the helper runs, the
    // restart budget (restarts per minute) and the delay before a restart.
    void setStatusPollLimitMs(int ms) { m_pollLimitMs = ms; }
    void setRestartPolicy(int perMinute, int delayMs);

signals:
    void proxyClientMessage(QString msg);
    void sendServerStatus(bool status, QString message);

private slots:
    void onProcessStart();
    void onProcessFinished(int exitCode);
    void readExeStandardOutPut();
    void readExeErrorOutPut();
    void recvUdpSocketFromLocalProxy();

private:
    void connectProcess();
    void disconnectProcess();
    // Closes standard input, waits for the helper to leave, kills it if it does not.
    void closeProcess();
    void dropStatusConnections();
    void pollServerStatus();
    bool pollExpired() const;
    void onStatusRequestFailed();
    void giveUpPolling();
    void onProcessExited(int exitCode, QProcess::ExitStatus status);
    void restartAfterExit();

    RequestLayer* m_requests;
    zq::ServiceAddresses* m_addresses;
    HelperHooks m_hooks;
    QString m_program;
    QProcess* m_process;
    QTimer* timer4ServicStatue;
    QUdpSocket* m_notificationSocket = nullptr;
    bool m_started = false;
    int m_apiPort = 0;
    QString m_proxyServerAddress;
    QStringList m_lastArguments;
    int m_pollLimitMs = 30000;
    int m_restartsPerMinute = 3;
    int m_restartDelayMs = 2000;
    QTimer* m_restartTimer;
    // Restart times (m_clock milliseconds) within the last minute.
    QList<qint64> m_restartTimes;
    QElapsedTimer m_clock;
    // Counts from the last successful start; bounds the status poll.
    QElapsedTimer m_pollClock;
    QPointer<QNetworkReply> m_pendingStatus;
    // Managers that carried status requests; their idle connections to the helper are
    // dropped before it is stopped.
    QList<QPointer<QNetworkAccessManager>> m_statusManagers;
    // Set while the helper is being stopped on purpose, so its exit is not taken for a crash.
    bool m_stopping = false;
};

} // namespace zq::helper
