#include "myaction.h"

#include "iconurl.h"

#include <QIcon>

MyAction::MyAction(QObject* parent)
    : QAction(parent)
{
    setObjectName(QStringLiteral("MyAction"));
}

void MyAction::setIcon(const QUrl& arg)
{
    if (arg == m_icon)
        return;
    QAction::setIcon(QIcon(iconPathFromUrl(arg)));
    m_icon = arg;
    emit iconChanged();
}
