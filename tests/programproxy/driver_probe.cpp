// A client without a window that starts the driver and runs until it is killed or told to quit
// on standard input. Arguments: Documents folder, installation folder (with "TarnDriver").
// Prints "driver up" once the driver reports its start.
#include "controller.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    Controller c(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    c.init();
    QObject::connect(&c, &Controller::programProxyStatus, [](const QString& message) {
        if (message == QLatin1String("Start program success!")) {
            std::printf("driver up\n");
            std::fflush(stdout);
        }
    });
    // A line on standard input ends the event loop the ordinary way.
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    c.startProgramProxyThread();
    return app.exec();
}
