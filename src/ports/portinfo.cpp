#include "portinfo.h"

PortInfo::PortInfo(int port, QObject* parent)
    : QObject(parent)
    , m_port(port)
{
}

void PortInfo::setUsed(bool value)
{
    m_used = value;
    emit usedChanged();
}

void PortInfo::setUsable(bool value)
{
    m_usable = value;
    emit usableChanged();
}

void PortInfo::setPort(int value)
{
    m_port = value;
    emit portChanged();
}

void PortInfo::setPlanType(const QString& value)
{
    m_planType = value;
    emit planTypeChanged();
}

void PortInfo::setOperateTime(uint value)
{
    m_operateTime = value;
    emit operateTimeChanged();
}

void PortInfo::setLineInfo(QObject* value)
{
    m_lineInfo = value;
    emit lineInfoChanged();
}

void PortInfo::clear()
{
    m_used = false;
    m_planType.clear();
    emit planTypeChanged();
    emit usedChanged();
    m_lineInfo = nullptr;
    emit lineInfoChanged();
}
