#include "clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <atomic>

namespace zq::clock {

namespace {
std::atomic<qint64> g_offset { 0 };
}

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch() + g_offset.load();
}

void setOffset(qint64 seconds)
{
    g_offset = seconds;
}

qint64 offset()
{
    return g_offset.load();
}

void processEventsFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, int(ms - timer.elapsed()));
}

} // namespace zq::clock
