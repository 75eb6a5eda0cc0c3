// A client without a window: logs in, starts the helper and prints its process id, then runs
// until it is killed. Arguments: Documents folder, helper executable.
#include "controller.h"
#include "helperprocess.h"

#include <QCoreApplication>
#include <QProcess>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    Controller c(QString::fromLocal8Bit(argv[1]), QCoreApplication::applicationDirPath());
    c.init();
    c.helper()->setProgram(QString::fromLocal8Bit(argv[2]));
    QObject::connect(&c, &Controller::loginStatus, [&c](bool ok, const QString&) {
        if (!ok || !c.startProxy())
            QCoreApplication::exit(3);
    });
    QObject::connect(&c, &Controller::sendServerStatus, [&c](bool ok, const QString&) {
        std::printf("helper %lld\n", ok ? static_cast<long long>(c.helper()->process()->processId()) : 0LL);
        std::fflush(stdout);
    });
    c.login(QStringLiteral("demo"), QStringLiteral("demo123"));
    return app.exec();
}
