#pragma once
// A menu action declared in QML, with an icon given as a URL.

#include <QAction>
#include <QUrl>

class MyAction : public QAction {
    Q_OBJECT
    Q_PROPERTY(QUrl icon READ iconUrl WRITE setIcon NOTIFY iconChanged)
public:
    explicit MyAction(QObject* parent = nullptr);

    QUrl iconUrl() const { return m_icon; }
    void setIcon(const QUrl& arg);

signals:
    void iconChanged();

private:
    QUrl m_icon;
};
