#pragma once
// Watchdog for one network reply: a child of the reply that says timeout() once if the reply
// is still running when its time is up.

#include <QBasicTimer>
#include <QObject>

class QNetworkReply;

class QReplyTimeout : public QObject {
    Q_OBJECT
public:
    // Starts counting only when the reply is still running.
    QReplyTimeout(QNetworkReply* reply, int milliseconds);

    bool isActive() const { return m_timer.isActive(); }

signals:
    void timeout();

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QNetworkReply* m_reply;
    QBasicTimer m_timer;
};
