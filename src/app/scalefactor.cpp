#include "scalefactor.h"

#include "platform.h"

#include <QCoreApplication>
#include <QDebug>

ScaleFactor ScaleFactor::compute(const QSize& monitor)
{
    ScaleFactor s;
    if (monitor.width() > 1920 && monitor.height() > 1080) {
        s.horizontal = monitor.width() / 1920.0;
        s.vertical = monitor.height() / 1080.0;
    }
    qDebug() << "Horizonzal scaling: " << s.horizontal;
    qDebug() << "Vertical scaling: " << s.vertical;
    s.factor = qMin(s.horizontal, s.vertical);
    return s;
}

void applyScaleFactor(double factor)
{
    if (factor > 1.0) {
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    } else {
        QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
        qputenv("QT_SCALE_FACTOR", QByteArray::number(factor, 'g', 6));
    }
}

ScaleFactor decideStartupScaling()
{
    const ScaleFactor scale = ScaleFactor::compute(zq::platform::monitorSize());
    qDebug() << "scaleFactor:" << scale.factor;
    applyScaleFactor(scale.factor);
    return scale;
}
