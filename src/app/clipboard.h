#pragma once
// Lets the QML put text on the system clipboard.

#include <QObject>

class QClipboard;

class Clipboard : public QObject {
    Q_OBJECT
public:
    explicit Clipboard(QObject* parent = nullptr);

    Q_INVOKABLE void setText(const QString& text);

private:
    QClipboard* m_clipboard;
};
