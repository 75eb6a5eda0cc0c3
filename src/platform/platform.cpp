// The parts of the platform layer that Qt already makes portable.

#include "platform.h"

#include <QDebug>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QWindow>

namespace zq::platform {

bool canBindLowPorts()
{
    return lowestBindablePort() <= 1;
}

int lowPortShift(int low)
{
    return low >= 1024 || low >= lowestBindablePort() ? 0 : kLowPortShift;
}

QString exeFileName(const QString& baseName)
{
#ifdef Q_OS_WIN
    return baseName + QStringLiteral(".exe");
#else
    return baseName;
#endif
}

bool startDetached(const QString& program, const QStringList& args, const QString& workDir)
{
    return QProcess::startDetached(program, args, workDir);
}

QString shellResultText(int result)
{
    switch (result) {
    case 0:
        return QStringLiteral("内存不足-");
    case 2:
        return QStringLiteral("文件名错误-");
    case 3:
        return QStringLiteral("路径名错误-");
    case 11:
        return QStringLiteral("exe文件无效-");
    case 26:
        return QStringLiteral("发生共享错误-");
    case 27:
        return QStringLiteral("文件名不完全或无效-");
    case 28:
        return QStringLiteral("超时-");
    case 29:
        return QStringLiteral("DDE事务失败-");
    case 30:
        return QStringLiteral("正在处理其它DDE而不能完成该DDE-");
    case 31:
        return QStringLiteral("没有相关联的应用程序-");
    default:
        return QStringLiteral("未知-");
    }
}

QSize monitorSize()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    QScreen* screen = nullptr;
    if (QWindow* active = QGuiApplication::focusWindow())
        screen = active->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    // The whole screen, not the work area, in device pixels.
    const QRect logical = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    const QSize pixels(qRound(logical.width() * ratio), qRound(logical.height() * ratio));
    qDebug() << pixels.width() << logical.width();
    qDebug() << pixels.height() << logical.height();
    return pixels;
}

bool openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace zq::platform
