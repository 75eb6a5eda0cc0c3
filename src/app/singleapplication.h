#pragma once
// A QApplication that knows whether another copy with the same id runs, and lets a second
// copy ask the first to show its window. Built on a lock file and a local socket.

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QWindow>

class QLocalServer;
class QLockFile;

class SingleApplication : public QApplication {
    Q_OBJECT
public:
    SingleApplication(const QString& id, int& argc, char** argv);
    ~SingleApplication() override;

    // True when another instance with the same id already runs.
    bool isRunning() const { return m_running; }
    // Sends a message to the running instance; false when it could not be delivered in time.
    bool sendMessage(const QString& message, int timeout = 5000);

    void setActivationWindow(QWindow* window, bool activateOnMessage = true);
    QWindow* activationWindow() const { return m_window; }
    QString lastMessage() const { return m_lastMessage; }

public slots:
    void activateWindow();
    void dealMessageReceived(const QString& message);

signals:
    void messageReceived(const QString& message);

private:
    void startServer();
    void readConnection();

    QString m_serverName;
    QLockFile* m_lock = nullptr;
    QLocalServer* m_server = nullptr;
    bool m_running = false;
    QPointer<QWindow> m_window;
    QString m_lastMessage;
};
