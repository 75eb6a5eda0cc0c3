// Runs the start-up scaling decision as the entry point does, then reports what Qt holds
// before and after the application object is built. One line each:
//   before <AA_EnableHighDpiScaling> <AA_UseHighDpiPixmaps> <QT_SCALE_FACTOR or "-">
//   after <same three>
// Warnings (Qt's "must be set before QCoreApplication is created") go to standard error.
#include "scalefactor.h"

#include <QApplication>
#include <cstdio>

namespace {
void report(const char* when)
{
    const QByteArray factor = qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qgetenv("QT_SCALE_FACTOR") : "-";
    std::printf("%s %d %d %s\n", when, QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling) ? 1 : 0,
        QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps) ? 1 : 0, factor.constData());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char* argv[])
{
    decideStartupScaling();
    report("before");
    QApplication app(argc, argv);
    report("after");
    return 0;
}
