#include "systemtrayicon.h"

#include "iconurl.h"
#include "mymenu.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMenu>

SystemTrayIcon::SystemTrayIcon(QQuickItem* parent)
    : QQuickItem(parent)
    , m_trayIcon(new QSystemTrayIcon(this))
{
    // Hidden until the QML says visible: true.
    setVisible(false);
    connect(this, &QQuickItem::visibleChanged, this, &SystemTrayIcon::onVisibleChanged);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &SystemTrayIcon::onActivated);
}

int SystemTrayIcon::x() const
{
    return m_trayIcon->geometry().x();
}

int SystemTrayIcon::y() const
{
    return m_trayIcon->geometry().y();
}

void SystemTrayIcon::setIcon(const QUrl& arg)
{
    if (arg == m_icon)
        return;
    m_trayIcon->setIcon(QIcon(iconPathFromUrl(arg)));
    m_icon = arg;
    emit iconChanged();
}

QString SystemTrayIcon::toolTip() const
{
    return m_trayIcon->toolTip();
}

void SystemTrayIcon::setToolTip(const QString& arg)
{
    if (arg == m_toolTip)
        return;
    m_trayIcon->setToolTip(arg);
    m_toolTip = arg;
    emit toolTipChanged();
}

void SystemTrayIcon::setMenu(MyMenu* arg)
{
    if (arg == m_menu)
        return;
    if (m_menu)
        m_trayIcon->removeEventFilter(m_menu);
    m_menu = arg;
    m_trayIcon->setContextMenu(arg ? arg->menu() : nullptr);
    if (arg)
        m_trayIcon->installEventFilter(arg);
    emit menuChanged();
}

void SystemTrayIcon::onVisibleChanged()
{
    m_trayIcon->setVisible(isVisible());
    // The icon's place on screen is known only once it is shown.
    emit xChanged();
    emit yChanged();
}

void SystemTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        emit triggered();
}

void SystemTrayIcon::onExit()
{
    m_trayIcon->hide();
    QCoreApplication::exit(0);
}
