// Test program: the first copy waits for a message with a minimised window, the second sends one.
#include "singleapplication.h"

#include <QTimer>
#include <QWindow>
#include <cstdio>

int main(int argc, char** argv)
{
    SingleApplication app(QStringLiteral("single_instance_probe"), argc, argv);
    if (app.isRunning())
        return app.sendMessage(QStringLiteral("raise_window_noop"), 1000) ? 0 : 3;

    QWindow window;
    window.resize(100, 100);
    window.show();
    window.setWindowState(Qt::WindowMinimized);
    app.setActivationWindow(&window, true);
    QObject::connect(&app, &SingleApplication::messageReceived, &app, [&] {
        std::printf("message %s minimized %d visible %d\n", qPrintable(app.lastMessage()),
            int(window.windowStates().testFlag(Qt::WindowMinimized)), int(window.isVisible()));
        std::fflush(stdout);
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    });
    std::printf("primary\n");
    std::fflush(stdout);
    QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(4); });
    return app.exec();
}
