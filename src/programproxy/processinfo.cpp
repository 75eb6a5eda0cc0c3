#include "processinfo.h"

ProcessInfo::ProcessInfo(QObject* parent)
    : QObject(parent)
{
}

void ProcessInfo::setId(int value)
{
    m_id = value;
    emit idChanged();
}

void ProcessInfo::setName(const QString& value)
{
    m_name = value;
    emit nameChanged();
}

void ProcessInfo::setPath(const QString& value)
{
    m_path = value;
    emit pathChanged();
}

void ProcessInfo::setImage(const QUrl& value)
{
    m_image = value;
    emit imageChanged();
}

void ProcessInfo::setParm(const QString& value)
{
    m_parm = value;
    emit parmChanged();
}
