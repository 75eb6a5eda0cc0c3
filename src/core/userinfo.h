#pragma once
// What the service said about the signed-in account. Only the Controller writes it.

#include <QObject>
#include <QString>

class UserInfo : public QObject {
    Q_OBJECT
public:
    static UserInfo* instance();

    Q_INVOKABLE QString getUserName() const { return m_username; }
    Q_INVOKABLE QString getPassword() const { return m_password; }
    Q_INVOKABLE QString getPwd() const { return m_pwd; }
    Q_INVOKABLE QString getSessionId() const { return m_sessionId; }
    Q_INVOKABLE int getIpNums() const { return m_ipNums; }
    Q_INVOKABLE QString getToken() const { return m_token; }
    Q_INVOKABLE double getResiTraffic_reamin() const { return m_resiTrafficRemain; }
    Q_INVOKABLE double getResiTraffic_all() const { return m_resiTrafficAll; }
    Q_INVOKABLE QString getResiTraffic_expireUTC() const { return m_resiTrafficExpire; }
    Q_INVOKABLE QString getEmail() const { return m_email; }
    Q_INVOKABLE uint getExpireUTC() const { return m_expireUTC; }
    Q_INVOKABLE int getUid() const { return m_uid; }
    Q_INVOKABLE QString getServer() const { return m_server; }
    Q_INVOKABLE QString getExpireTimeStr() const;

    void setUserName(const QString& v) { m_username = v; }
    void setPassword(const QString& v) { m_password = v; }
    void setPwd(const QString& v) { m_pwd = v; }
    void setSessionId(const QString& v) { m_sessionId = v; }
    void setIpNums(int v) { m_ipNums = v; }
    void setToken(const QString& v) { m_token = v; }
    void setResiTrafficRemain(double v) { m_resiTrafficRemain = v; }
    void setResiTrafficAll(double v) { m_resiTrafficAll = v; }
    void setResiTrafficExpire(const QString& v) { m_resiTrafficExpire = v; }
    void setEmail(const QString& v) { m_email = v; }
    void setExpireUTC(uint v) { m_expireUTC = v; }
    void setUid(int v) { m_uid = v; }
    void setServer(const QString& v) { m_server = v; }

private:
    UserInfo() = default;

    QString m_username;
    QString m_password;
    QString m_pwd;
    QString m_sessionId;
    int m_ipNums = 0;
    QString m_token;
    double m_resiTrafficRemain = 0;
    double m_resiTrafficAll = 0;
    QString m_resiTrafficExpire;
    QString m_email;
    uint m_expireUTC = 0;
    int m_uid = 0;
    QString m_server;
};
