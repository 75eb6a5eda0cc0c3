#include "clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

Clipboard::Clipboard(QObject* parent)
    : QObject(parent)
    , m_clipboard(QGuiApplication::clipboard())
{
}

void Clipboard::setText(const QString& text)
{
    m_clipboard->setText(text, QClipboard::Clipboard);
}
