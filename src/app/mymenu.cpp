#include "mymenu.h"

#include "myaction.h"

#include <QMenu>

MyMenu::MyMenu(QQuickItem* parent)
    : QQuickItem(parent)
    , m_menu(std::make_unique<QMenu>())
{
    setObjectName(QStringLiteral("MyMenu"));
}

MyMenu::~MyMenu() = default;

int MyMenu::width() const
{
    return m_menu->width();
}

void MyMenu::setWidth(int arg)
{
    if (arg == m_menu->width())
        return;
    m_menu->setFixedWidth(arg);
    emit widthChanged();
}

int MyMenu::height() const
{
    return m_menu->height();
}

void MyMenu::setHeight(int arg)
{
    if (arg == m_menu->height())
        return;
    m_menu->setFixedHeight(arg);
    emit heightChanged();
}

void MyMenu::componentComplete()
{
    QQuickItem::componentComplete();
    // Children are recognised by the object names their constructors set.
    for (QObject* child : children()) {
        const QString name = child->objectName();
        if (name == QLatin1String("MyAction"))
            addAction(qobject_cast<MyAction*>(child));
        else if (name == QLatin1String("MySeparator"))
            addSeparator();
        else if (name == QLatin1String("MyMenu"))
            addMenu(qobject_cast<MyMenu*>(child));
    }
}

void MyMenu::addAction(MyAction* action)
{
    if (action)
        m_menu->addAction(action);
}

void MyMenu::addSeparator()
{
    m_menu->addSeparator();
}

void MyMenu::addMenu(MyMenu* menu)
{
    if (menu)
        m_menu->addMenu(menu->menu());
}
