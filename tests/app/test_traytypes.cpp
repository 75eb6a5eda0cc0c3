#include "clipboard.h"
#include "myaction.h"
#include "mymenu.h"
#include "myseparator.h"
#include "qmlregistration.h"
#include "systemtrayicon.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTimer>
#include <QtTest>

namespace {

QImage pixels(const QIcon& icon)
{
    return icon.pixmap(4, 4).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestTrayTypes : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void iconUrlForms();
    void toolTipNotifiesOnce();
    void menuAssembledInOrder();
    void menuAttachedToTray();
    void menuSize();
    void activationReasons();
    void visibilityFollowsItem();
    void clipboardText();
    void exitEndsEventLoop();
};

void TestTrayTypes::initTestCase()
{
    registerQmlTypes();
}

void TestTrayTypes::iconUrlForms()
{
    const QImage expected = pixels(QIcon(QStringLiteral(":/image/tray.xpm")));
    QVERIFY(!expected.isNull());
    QVERIFY(expected != pixels(QIcon(QStringLiteral(":/image/other.xpm"))));

    // Both spellings of a resource, for the tray icon and for a menu action.
    for (const QString& url : { QStringLiteral("qrc:/image/tray.xpm"), QStringLiteral(":/image/tray.xpm") }) {
        SystemTrayIcon tray;
        QSignalSpy changed(&tray, &SystemTrayIcon::iconChanged);
        tray.setIcon(QUrl(url));
        QCOMPARE(pixels(tray.trayIcon()->icon()), expected);
        QCOMPARE(tray.icon(), QUrl(url));
        tray.setIcon(QUrl(url));
        QCOMPARE(changed.count(), 1);

        MyAction action;
        action.setIcon(QUrl(url));
        QCOMPARE(pixels(action.QAction::icon()), expected);
    }

    // Written in QML, a resource path arrives resolved against the QML file's own address.
    for (const char* base : { "qrc:/traytest/Tray.qml", "file:///traytest/Tray.qml" }) {
        for (const char* icon : { "qrc:/image/tray.xpm", ":/image/tray.xpm" }) {
            QQmlEngine engine;
            QQmlComponent component(&engine);
            component.setData(QByteArray("import VM.utility 1.0\nSystemTrayIcon { icon: \"") + icon + "\" }\n",
                QUrl(QString::fromLatin1(base)));
            QScopedPointer<QObject> root(component.create());
            QVERIFY2(root, qPrintable(component.errorString()));
            QCOMPARE(pixels(qobject_cast<SystemTrayIcon*>(root.data())->trayIcon()->icon()), expected);
        }
    }

    // A local file is read from disk.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("tray.xpm"));
    QVERIFY(QFile::copy(QStringLiteral(":/image/tray.xpm"), file));
    MyAction action;
    action.setIcon(QUrl::fromLocalFile(file));
    QCOMPARE(pixels(action.QAction::icon()), expected);
}

void TestTrayTypes::toolTipNotifiesOnce()
{
    SystemTrayIcon tray;
    QSignalSpy changed(&tray, &SystemTrayIcon::toolTipChanged);
    tray.setToolTip(QStringLiteral("ZQ"));
    tray.setToolTip(QStringLiteral("ZQ"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(tray.toolTip(), QStringLiteral("ZQ"));
    QCOMPARE(tray.trayIcon()->toolTip(), QStringLiteral("ZQ"));
}

void TestTrayTypes::menuAssembledInOrder()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.12\n"
                      "import VM.utility 1.0\n"
                      "MyMenu {\n"
                      "    MyAction { text: \"Show\" }\n"
                      "    MySeparator {}\n"
                      "    Item { objectName: \"ignored\" }\n"
                      "    MyMenu { MyAction { text: \"Inner\" } }\n"
                      "    MyAction { text: \"Exit\"; icon: \"qrc:/image/tray.xpm\" }\n"
                      "}\n",
        QUrl(QStringLiteral("file:///traytest/Menu.qml")));
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    auto* menu = qobject_cast<MyMenu*>(root.data());
    QVERIFY(menu);
    QCOMPARE(menu->objectName(), QStringLiteral("MyMenu"));

    const QList<QAction*> actions = menu->menu()->actions();
    QCOMPARE(actions.size(), 4);
    QCOMPARE(actions[0]->text(), QStringLiteral("Show"));
    QVERIFY(actions[1]->isSeparator());
    QVERIFY(actions[2]->menu());
    QCOMPARE(actions[2]->menu()->actions().size(), 1);
    QCOMPARE(actions[2]->menu()->actions()[0]->text(), QStringLiteral("Inner"));
    QCOMPARE(actions[3]->text(), QStringLiteral("Exit"));
    QVERIFY(!actions[3]->icon().isNull());

    // Triggering the menu entry reaches the QML handler side: it is the very same action.
    QSignalSpy triggered(actions[0], &QAction::triggered);
    actions[0]->trigger();
    QCOMPARE(triggered.count(), 1);
}

void TestTrayTypes::menuAttachedToTray()
{
    SystemTrayIcon tray;
    MyMenu menu;
    QSignalSpy changed(&tray, &SystemTrayIcon::menuChanged);
    tray.setMenu(&menu);
    tray.setMenu(&menu);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(tray.trayIcon()->contextMenu(), menu.menu());
    tray.setMenu(nullptr);
    QCOMPARE(tray.trayIcon()->contextMenu(), static_cast<QMenu*>(nullptr));

    // A menu that goes first leaves the tray icon without a dangling menu.
    auto* shortLived = new MyMenu;
    tray.setMenu(shortLived);
    delete shortLived;
    QCOMPARE(tray.menu(), static_cast<MyMenu*>(nullptr));
    QCOMPARE(tray.trayIcon()->contextMenu(), static_cast<QMenu*>(nullptr));
}

void TestTrayTypes::menuSize()
{
    MyMenu menu;
    QSignalSpy widthChanged(&menu, &MyMenu::widthChanged);
    menu.setWidth(150);
    menu.setWidth(150);
    QCOMPARE(widthChanged.count(), 1);
    QCOMPARE(menu.width(), 150);
    QCOMPARE(menu.menu()->minimumWidth(), 150);
    QCOMPARE(menu.menu()->maximumWidth(), 150);
    menu.setHeight(90);
    QCOMPARE(menu.height(), 90);
}

void TestTrayTypes::activationReasons()
{
    SystemTrayIcon tray;
    QSignalSpy triggered(&tray, &SystemTrayIcon::triggered);
    // Right click and middle click belong to the context menu or to nothing.
    emit tray.trayIcon()->activated(QSystemTrayIcon::Context);
    emit tray.trayIcon()->activated(QSystemTrayIcon::MiddleClick);
    emit tray.trayIcon()->activated(QSystemTrayIcon::Unknown);
    QCOMPARE(triggered.count(), 0);
    emit tray.trayIcon()->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(triggered.count(), 1);
    emit tray.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QCOMPARE(triggered.count(), 2);
}

void TestTrayTypes::visibilityFollowsItem()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import VM.utility 1.0\n"
                      "SystemTrayIcon { icon: \"qrc:/image/tray.xpm\"; toolTip: \"ZQ\" }\n",
        QUrl(QStringLiteral("file:///traytest/Tray.qml")));
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    auto* tray = qobject_cast<SystemTrayIcon*>(root.data());
    QVERIFY(tray);
    // Declared without visible: true, nothing shows in the tray.
    QVERIFY(!tray->isVisible());
    QVERIFY(!tray->trayIcon()->isVisible());
    tray->setVisible(true);
    QVERIFY(tray->trayIcon()->isVisible());
    tray->setVisible(false);
    QVERIFY(!tray->trayIcon()->isVisible());
}

void TestTrayTypes::clipboardText()
{
    Clipboard clipboard;
    clipboard.setText(QStringLiteral("127.0.0.1:30001"));
    QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), QStringLiteral("127.0.0.1:30001"));

    // Reachable from QML under its module name.
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.12\n"
                      "import Qt.Clipboard 1.0\n"
                      "Item { Clipboard { id: board } Component.onCompleted: board.setText(\"10.0.0.2:30002\") }\n",
        QUrl(QStringLiteral("file:///traytest/Copy.qml")));
    QScopedPointer<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("10.0.0.2:30002"));
}

void TestTrayTypes::exitEndsEventLoop()
{
    SystemTrayIcon tray;
    tray.setIcon(QUrl(QStringLiteral("qrc:/image/tray.xpm")));
    tray.setVisible(true);
    QTimer::singleShot(0, &tray, &SystemTrayIcon::onExit);
    QTimer::singleShot(5000, [] { QCoreApplication::exit(3); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!tray.trayIcon()->isVisible());
}

QTEST_MAIN(TestTrayTypes)
#include "test_traytypes.moc"
