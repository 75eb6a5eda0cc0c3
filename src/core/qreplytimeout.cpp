#include "qreplytimeout.h"

#include <QNetworkReply>
#include <QTimerEvent>

QReplyTimeout::QReplyTimeout(QNetworkReply* reply, int milliseconds)
    : QObject(reply)
    , m_reply(reply)
{
    if (reply && reply->isRunning())
        m_timer.start(milliseconds, this);
}

void QReplyTimeout::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId() || !m_timer.isActive())
        return QObject::timerEvent(event);
    // Stop first: whoever handles timeout() may delete the reply and with it this object.
    m_timer.stop();
    if (m_reply->isRunning())
        emit timeout();
}
