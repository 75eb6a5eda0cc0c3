#include "proxyserverinfo.h"

ProxyServerInfo::ProxyServerInfo(QObject* parent)
    : QObject(parent)
{
}

void ProxyServerInfo::setId(int value)
{
    m_id = value;
    emit idChanged();
}

void ProxyServerInfo::setPing(int value)
{
    m_ping = value;
    emit pingChanged();
}

void ProxyServerInfo::setProxyIp(const QString& value)
{
    m_proxyIp = value;
    emit proxyIpChanged();
}

void ProxyServerInfo::setCountry(const QString& value)
{
    m_country = value;
    emit countryChanged();
}

void ProxyServerInfo::setCity(const QString& value)
{
    m_city = value;
    emit cityChanged();
}

void ProxyServerInfo::setZip(const QString& value)
{
    m_zip = value;
    emit zipChanged();
}

void ProxyServerInfo::setIsp(const QString& value)
{
    m_isp = value;
    emit ispChanged();
}

void ProxyServerInfo::setIso(const QString& value)
{
    m_iso = value;
    emit isoChanged();
}

void ProxyServerInfo::setSn(const QString& value)
{
    m_sn = value;
    emit snChanged();
}

void ProxyServerInfo::setIp(const QString& value)
{
    m_ip = value;
    emit ipChanged();
}

void ProxyServerInfo::setState(const QString& value)
{
    m_state = value;
    emit stateChanged();
}

void ProxyServerInfo::setHideIp(const QString& value)
{
    m_hideIp = value;
    emit hideIpChanged();
}

void ProxyServerInfo::setBindTime(int value)
{
    m_bindTime = value;
    emit bindTimeChanged();
}

void ProxyServerInfo::setBindPort(int value)
{
    m_bindPort = value;
    emit bindPortChanged();
}

void ProxyServerInfo::setBindType(const QString& value)
{
    m_bindType = value;
    emit bindTypeChanged();
}

void ProxyServerInfo::setOnLine(bool value)
{
    m_onLine = value;
    emit onLineChanged();
}

void ProxyServerInfo::setSessionId(const QString& value)
{
    m_sessionId = value;
    emit sessionIdChanged();
}

void ProxyServerInfo::setIsExpired(bool value)
{
    m_isExpired = value;
    emit isExpiredChanged();
}

void ProxyServerInfo::setIsFromOtherDevice(bool value)
{
    m_isFromOtherDevice = value;
    emit isFromOtherDeviceChanged();
}

void ProxyServerInfo::setRegion(const QString& value)
{
    m_region = value;
    emit proxyServerRegionChanged();
}

void ProxyServerInfo::setPlanType(const QString& value)
{
    m_planType = value;
    emit planTypeChanged();
}

void ProxyServerInfo::setRemark(const QString& value)
{
    m_remark = value;
    emit remarkChanged();
}

void ProxyServerInfo::setPlanTypeKey(const QString& value)
{
    m_planTypeKey = value;
    emit planTypeKeyChanged();
}
