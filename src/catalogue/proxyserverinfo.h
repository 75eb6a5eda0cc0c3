#pragma once
// One proxy line as every list and view sees it. A plain record: setters store and always notify.

#include <QObject>
#include <QString>

class ProxyServerInfo : public QObject {
    Q_OBJECT
    Q_PROPERTY(int qId READ getId WRITE setId NOTIFY idChanged)
    Q_PROPERTY(int qPing READ getPing WRITE setPing NOTIFY pingChanged)
    Q_PROPERTY(QString qProxyIp READ getProxyIp WRITE setProxyIp NOTIFY proxyIpChanged)
    Q_PROPERTY(QString qCountry READ getCountry WRITE setCountry NOTIFY countryChanged)
    Q_PROPERTY(QString qCity READ getCity WRITE setCity NOTIFY cityChanged)
    Q_PROPERTY(QString qZip READ getZip WRITE setZip NOTIFY zipChanged)
    Q_PROPERTY(QString qIsp READ getIsp WRITE setIsp NOTIFY ispChanged)
    Q_PROPERTY(QString qIso READ getIso WRITE setIso NOTIFY isoChanged)
    Q_PROPERTY(QString qSn READ getSn WRITE setSn NOTIFY snChanged)
    Q_PROPERTY(QString qIp READ getIp WRITE setIp NOTIFY ipChanged)
    Q_PROPERTY(QString qState READ getState WRITE setState NOTIFY stateChanged)
    Q_PROPERTY(QString qHideIp READ getHideIp WRITE setHideIp NOTIFY hideIpChanged)
    Q_PROPERTY(int qBindTime READ getBindTime WRITE setBindTime NOTIFY bindTimeChanged)
    Q_PROPERTY(int qBindPort READ getBindPort WRITE setBindPort NOTIFY bindPortChanged)
    Q_PROPERTY(QString qBindType READ getBindType WRITE setBindType NOTIFY bindTypeChanged)
    Q_PROPERTY(bool qOnLine READ getOnLine WRITE setOnLine NOTIFY onLineChanged)
    Q_PROPERTY(QString qSessionId READ getSessionId WRITE setSessionId NOTIFY sessionIdChanged)
    Q_PROPERTY(bool qIsExpired READ getIsExpired WRITE setIsExpired NOTIFY isExpiredChanged)
    Q_PROPERTY(
        bool qIsFromOtherDevice READ getIsFromOtherDevice WRITE setIsFromOtherDevice NOTIFY isFromOtherDeviceChanged)
    Q_PROPERTY(QString qRegion READ getRegion WRITE setRegion NOTIFY proxyServerRegionChanged)
    Q_PROPERTY(QString qPlanType READ getPlanType WRITE setPlanType NOTIFY planTypeChanged)
    Q_PROPERTY(QString qRemark READ getRemark WRITE setRemark NOTIFY remarkChanged)
    Q_PROPERTY(QString qPlanTypeKey READ getPlanTypeKey WRITE setPlanTypeKey NOTIFY planTypeKeyChanged)
public:
    explicit ProxyServerInfo(QObject* parent = nullptr);

    int getId() const { return m_id; }
    int getPing() const { return m_ping; }
    QString getProxyIp() const { return m_proxyIp; }
    QString getCountry() const { return m_country; }
    QString getCity() const { return m_city; }
    QString getZip() const { return m_zip; }
    QString getIsp() const { return m_isp; }
    QString getIso() const { return m_iso; }
    QString getSn() const { return m_sn; }
    QString getIp() const { return m_ip; }
    QString getState() const { return m_state; }
    QString getHideIp() const { return m_hideIp; }
    int getBindTime() const { return m_bindTime; }
    int getBindPort() const { return m_bindPort; }
    QString getBindType() const { return m_bindType; }
    bool getOnLine() const { return m_onLine; }
    QString getSessionId() const { return m_sessionId; }
    bool getIsExpired() const { return m_isExpired; }
    bool getIsFromOtherDevice() const { return m_isFromOtherDevice; }
    QString getRegion() const { return m_region; }
    QString getPlanType() const { return m_planType; }
    QString getRemark() const { return m_remark; }
    QString getPlanTypeKey() const { return m_planTypeKey; }

    void setId(int value);
    void setPing(int value);
    void setProxyIp(const QString& value);
    void setCountry(const QString& value);
    void setCity(const QString& value);
    void setZip(const QString& value);
    void setIsp(const QString& value);
    void setIso(const QString& value);
    void setSn(const QString& value);
    void setIp(const QString& value);
    void setState(const QString& value);
    void setHideIp(const QString& value);
    void setBindTime(int value);
    void setBindPort(int value);
    void setBindType(const QString& value);
    void setOnLine(bool value);
    void setSessionId(const QString& value);
    void setIsExpired(bool value);
    void setIsFromOtherDevice(bool value);
    void setRegion(const QString& value);
    void setPlanType(const QString& value);
    void setRemark(const QString& value);
    void setPlanTypeKey(const QString& value);

signals:
    void idChanged();
    void proxyIpChanged();
    void countryChanged();
    void pingChanged();
    void cityChanged();
    void zipChanged();
    void ispChanged();
    void isoChanged();
    void snChanged();
    void ipChanged();
    void stateChanged();
    void hideIpChanged();
    void bindTimeChanged();
    void bindPortChanged();
    void bindTypeChanged();
    void onLineChanged();
    void sessionIdChanged();
    void isExpiredChanged();
    void isFromOtherDeviceChanged();
    void proxyServerRegionChanged();
    void planTypeChanged();
    void remarkChanged();
    void planTypeKeyChanged();

private:
    int m_id = 0;
    int m_ping = 0;
    QString m_proxyIp;
    QString m_country;
    QString m_city;
    QString m_zip;
    QString m_isp;
    QString m_iso;
    QString m_sn;
    QString m_ip;
    QString m_state;
    QString m_hideIp;
    int m_bindTime = 0;
    int m_bindPort = 0;
    QString m_bindType;
    bool m_onLine = false;
    QString m_sessionId;
    bool m_isExpired = false;
    bool m_isFromOtherDevice = false;
    QString m_region;
    QString m_planType;
    QString m_remark;
    QString m_planTypeKey;
};
