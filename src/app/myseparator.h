#pragma once
// Marks a separator between the entries of a MyMenu.

#include <QObject>

class MySeparator : public QObject {
    Q_OBJECT
public:
    explicit MySeparator(QObject* parent = nullptr)
        : QObject(parent)
    {
        setObjectName(QStringLiteral("MySeparator"));
    }
};
