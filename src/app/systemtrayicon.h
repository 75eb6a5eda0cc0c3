#pragma once
// A tray icon declared in QML; shown only while the item is visible.

#include <QPointer>
#include <QQuickItem>
#include <QSystemTrayIcon>
#include <QUrl>

class MyMenu;

class SystemTrayIcon : public QQuickItem {
    Q_OBJECT
    // Screen position of the tray icon (the item's own x and y mean nothing here).
    Q_PROPERTY(int x READ x NOTIFY xChanged)
    Q_PROPERTY(int y READ y NOTIFY yChanged)
    Q_PROPERTY(QUrl icon READ icon WRITE setIcon NOTIFY iconChanged)
    Q_PROPERTY(QString toolTip READ toolTip WRITE setToolTip NOTIFY toolTipChanged)
    Q_PROPERTY(MyMenu* menu READ menu WRITE setMenu NOTIFY menuChanged)
public:
    explicit SystemTrayIcon(QQuickItem* parent = nullptr);

    int x() const;
    int y() const;
    QUrl icon() const { return m_icon; }
    void setIcon(const QUrl& arg);
    QString toolTip() const;
    void setToolTip(const QString& arg);
    MyMenu* menu() const { return m_menu; }
    void setMenu(MyMenu* arg);

    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }

signals:
    void iconChanged();
    void toolTipChanged();
    void menuChanged();
    // A single or double click on the icon; the context menu and middle click do not count.
    void triggered();

public slots:
    void onVisibleChanged();
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void onExit();

private:
    QSystemTrayIcon* m_trayIcon;
    QUrl m_icon;
    QString m_toolTip;
    QPointer<MyMenu> m_menu;
};
