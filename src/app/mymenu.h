#pragma once
// A context menu declared in QML: the MyAction, MySeparator and MyMenu elements written inside
// it become its entries, in the order written.

#include <QQuickItem>
#include <memory>

class MyAction;
class QMenu;

class MyMenu : public QQuickItem {
    Q_OBJECT
    // The menu's own size, not the item's.
    Q_PROPERTY(int width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(int height READ height WRITE setHeight NOTIFY heightChanged)
public:
    explicit MyMenu(QQuickItem* parent = nullptr);
    ~MyMenu() override;

    int width() const;
    void setWidth(int arg);
    int height() const;
    void setHeight(int arg);

    QMenu* menu() const { return m_menu.get(); }

    void componentComplete() override;

public slots:
    void addAction(MyAction* action);
    void addSeparator();
    void addMenu(MyMenu* menu);

private:
    // No parent: a menu is a window of its own. The tray icon and parent menus only point at
    // it and forget it when it goes.
    std::unique_ptr<QMenu> m_menu;
};
