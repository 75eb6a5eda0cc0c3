#pragma once
// Drives the real window as a person would: items found by objectName, real mouse clicks at
// their centres and real key presses; optional screenshots of each state.

#include <QDir>
#include <QQmlProperty>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSet>
#include <QtTest>

class WindowDriver {
public:
    void setWindow(QQuickWindow* window) { m_window = window; }
    QQuickWindow* window() const { return m_window; }

    // Every object of that name under the window: object children and visual children both
    // (items made by a Repeater or shown in a popup have no object parent in the window).
    QList<QObject*> objects(const QString& name) const
    {
        QList<QObject*> found;
        if (!m_window)
            return found;
        if (m_window->objectName() == name)
            found.append(m_window);
        QSet<QObject*> seen;
        QList<QObject*> queue { m_window->contentItem() };
        for (QObject* o : m_window->children())
            queue.append(o);
        while (!queue.isEmpty()) {
            QObject* o = queue.takeFirst();
            if (!o || seen.contains(o))
                continue;
            seen.insert(o);
            if (o->objectName() == name)
                found.append(o);
            for (QObject* c : o->children())
                queue.append(c);
            if (auto* i = qobject_cast<QQuickItem*>(o))
                for (QQuickItem* c : i->childItems())
                    queue.append(c);
        }
        return found;
    }
    QObject* object(const QString& name) const
    {
        const QList<QObject*> all = objects(name);
        return all.isEmpty() ? nullptr : all.first();
    }
    QQuickItem* item(const QString& name) const { return qobject_cast<QQuickItem*>(object(name)); }
    // The first visible item of that name (a name may repeat in loaded dialogs).
    QQuickItem* visibleItem(const QString& name) const
    {
        for (QObject* o : objects(name)) {
            auto* i = qobject_cast<QQuickItem*>(o);
            if (i && i->isVisible())
                return i;
        }
        return nullptr;
    }
    bool shown(const QString& name) const
    {
        QQuickItem* i = visibleItem(name);
        return i && i->opacity() > 0;
    }
    QVariant property(const QString& name, const char* property) const
    {
        QObject* o = object(name);
        return o ? QQmlProperty::read(o, QString::fromLatin1(property)) : QVariant();
    }
    QString text(const QString& name) const
    {
        QQuickItem* i = visibleItem(name);
        return i ? QQmlProperty::read(i, QStringLiteral("text")).toString() : QString();
    }

    // settle: first let positioners lay out what has just become visible, as a person would see
    // it; without it the click goes out at once (for state a background reply could change).
    bool click(const QString& name, Qt::MouseButton button = Qt::LeftButton, bool settle = true)
    {
        if (settle)
            QTest::qWait(40);
        QQuickItem* i = visibleItem(name);
        if (!i)
            return false;
        const QPointF centre = i->mapToScene(QPointF(i->width() / 2, i->height() / 2));
        QTest::mouseMove(m_window, centre.toPoint());
        QTest::mouseClick(m_window, button, Qt::NoModifier, centre.toPoint());
        return true;
    }
    bool type(const QString& name, const QString& text, bool clearFirst = true)
    {
        QQuickItem* i = visibleItem(name);
        if (!i)
            return false;
        if (!click(name))
            return false;
        if (clearFirst) {
            QTest::keyClick(m_window, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(m_window, Qt::Key_Backspace);
        }
        for (const QChar c : text)
            QTest::keyClick(m_window, c.toLatin1());
        return true;
    }
    void key(Qt::Key key) { QTest::keyClick(m_window, key); }

    // Saves the window to dir/name.png when screenshots are asked for (ZQ_SCREENS_DIR).
    void shot(const QString& name) const
    {
        const QString dir = qEnvironmentVariable("ZQ_SCREENS_DIR");
        if (dir.isEmpty() || !m_window)
            return;
        QTest::qWait(400); // let animations and text settle
        QDir().mkpath(dir);
        m_window->grabWindow().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

private:
    QQuickWindow* m_window = nullptr;
};
