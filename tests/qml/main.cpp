// Qt Quick Test runner for the single controls and dialogs, with the real singletons registered.
#include "qmlregistration.h"

#include <QQmlEngine>
#include <QtQuickTest>

class Setup : public QObject {
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine*) { registerQmlTypes(); }
};

QUICK_TEST_MAIN_WITH_SETUP(controls, Setup)
#include "main.moc"
