#pragma once
// The per-program proxy driver: launching it with its seventeen arguments, the datagram loop
// that hears it (on a thread of the global thread pool), the sends to it, stopping it and
// telling whether it runs. The loop ends on "exitOK", on stop(), on shutdown() and when the
// launch fails, so the application never waits for a driver that stays silent.

#include <QFuture>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>

namespace zq::programproxy {

class DriverChannel : public QObject {
    Q_OBJECT
public:
    // driverDir holds the driver executable ("Tarn_Driver", ".exe" on Windows).
    explicit DriverChannel(const QString& driverDir, QObject* parent = nullptr);
    // Ends the loop and waits for its thread.
    ~DriverChannel() override;

    QString driverProgram() const;

    // Starts the loop and the driver unless either already runs. programPort and the program
    // list's entry names (placeholder included) go into the launch arguments.
    void startProgramProxyThread(int programPort, const QStringList& entryNames);
    // Asks the driver to exit; the loop waits up to graceMs for its "exitOK", then ends anyway.
    void stop(int graceMs = 1000);
    // stop() without grace, then waits until the loop's thread is free.
    void shutdown();

    // One datagram to the driver; false without sending while it does not run.
    bool send(const QString& text);
    // Whether a driver process exists on this machine.
    bool checkDriverStatus() const;

    bool isDriverRun() const { return m_isDriverRun; }
    int uiUdpPort() const { return m_uiUdpPort; }
    int sendUdpPort() const { return m_sendUdpPort; }
    // Whether the loop's thread is at work.
    bool isServing() const { return m_serving; }
    // The command line of the last launch.
    QString lastCommandLine() const;

signals:
    // The status texts of the driver's messages; emitted from the loop's thread.
    void programProxyStatus(QString message);

private:
    void serve(int programPort, const QStringList& entryNames);
    bool launch(int programPort, const QStringList& entryNames);
    // Acts on one datagram; false when the loop is to end ("exitOK").
    bool handle(const QByteArray& datagram);
    bool stopDue() const;

    QString m_driverDir;
    QFuture<void> m_loop;
    // Written by the loop's thread, read by the GUI thread.
    std::atomic<int> m_uiUdpPort { 0 };
    std::atomic<int> m_sendUdpPort { 0 };
    std::atomic<bool> m_isDriverRun { false };
    std::atomic<bool> m_serving { false };
    // Steady-clock milliseconds after which the loop ends; -1 while no stop is asked for.
    std::atomic<qint64> m_stopAt { -1 };
    mutable QMutex m_commandLineLock;
    QString m_lastCommandLine;
};

} // namespace zq::programproxy
