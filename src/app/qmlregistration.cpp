#include "qmlregistration.h"

#include "clipboard.h"
#include "controller.h"
#include "myaction.h"
#include "mymenu.h"
#include "myseparator.h"
#include "systemtrayicon.h"
#include "updateinfo.h"
#include "userinfo.h"

#include <QQmlEngine>

namespace {

// Singletons stay owned by C++: QML must never delete them.
template <typename T> QObject* provide(QQmlEngine*, QJSEngine*)
{
    QObject* object = T::instance();
    QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
    return object;
}

} // namespace

void registerQmlTypes()
{
    qmlRegisterSingletonType<Controller>("Qt.Controller", 1, 0, "Controller", provide<Controller>);
    qmlRegisterSingletonType<UserInfo>("Qt.UserInfo", 1, 0, "UserInfo", provide<UserInfo>);
    qmlRegisterSingletonType<UpdateInfo>("Qt.UpdateInfo", 1, 0, "UpdateInfo", provide<UpdateInfo>);
    qmlRegisterType<Clipboard>("Qt.Clipboard", 1, 0, "Clipboard");
    qmlRegisterType<SystemTrayIcon>("VM.utility", 1, 0, "SystemTrayIcon");
    qmlRegisterType<MyMenu>("VM.utility", 1, 0, "MyMenu");
    qmlRegisterType<MyAction>("VM.utility", 1, 0, "MyAction");
    qmlRegisterType<MySeparator>("VM.utility", 1, 0, "MySeparator");
}
