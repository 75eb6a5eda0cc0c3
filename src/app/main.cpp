// Entry point: single instance, renderer and scaling, backend, QML, event loop.
#include "constants.h"
#include "controller.h"
#include "openglprobe.h"
#include "platform.h"
#include "qmllanguage.h"
#include "qmlregistration.h"
#include "scalefactor.h"
#include "singleapplication.h"

#include <QDebug>
#include <QFont>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QWindow>

int main(int argc, char* argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("qvrn"));
    // Qt reads the scaling attributes and QT_SCALE_FACTOR only before the application object
    // is built, so they are decided first.
    decideStartupScaling();

    qDebug() << "QtSingleApplication";
    SingleApplication app(QStringLiteral("velmora_zq_id"), argc, argv);
    if (app.isRunning()) {
        qDebug() << "app.isRunning";
        app.sendMessage(QStringLiteral("raise_window_noop"), 1000);
        return 0;
    }

    OpenGLProbe probe;
    probe.run();

    qDebug() << "qSetMessagePattern";
    qSetMessagePattern(QStringLiteral("[%{time yyyyMMdd h:mm:ss.zzz} %{type} %{file} %{line} %{function}] %{message}"));
    QCoreApplication::setApplicationName(QStringLiteral("ZqProxy"));

    qDebug() << "killProcess";
    Controller* controller = Controller::instance();
    controller->killStaleHelpers();

    qDebug() << "init";
    controller->init();

    qDebug() << "setWindowIcon";
    app.setWindowIcon(QIcon(QStringLiteral(":/image/small.ico")));
    QFont font;
    font.setFamily(QStringLiteral("Microsoft YaHei"));
    app.setFont(font);

    registerQmlTypes();

    const QUrl url(QStringLiteral("qrc:/main.qml"));
    QQmlApplicationEngine engine;
    QmlLanguage language(&app, &engine);
    engine.rootContext()->setContextProperty(QStringLiteral("qmlLanguage"), &language);
    engine.rootContext()->setContextProperty(QStringLiteral("appDir"), QCoreApplication::applicationDirPath());
    qDebug() << "engine.rootContext() finish";

    QObject* mainWindow = nullptr;
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreated, &app,
        [&mainWindow, url](QObject* object, const QUrl& objectUrl) {
            if (object && objectUrl == url)
                mainWindow = object->isWindowType() ? object : nullptr;
        },
        Qt::DirectConnection);
    qDebug() << "engine.connect() finish";

    language.setLocalLanguage();
    qDebug() << "engine.load";
    engine.load(url);
    if (mainWindow)
        app.setActivationWindow(qobject_cast<QWindow*>(mainWindow), true);
    else
        qWarning() << "qrc:/main.qml produced no window";

    qDebug() << "app.exec()";
    const int code = app.exec();
    qDebug() << "app.exec() done";
    controller->stopProxy();
    return code;
}
