#pragma once
// The one backend object the QML talks to. This header is the index of what QML may call;
// each invokable hands its work to the component that owns it.

#include "apppaths.h"
#include "endpoints.h"
#include "payloadcodec.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;
class QTimer;
class QUdpSocket;

class Controller : public QObject {
    Q_OBJECT
public:
    // The process-wide instance, created on first use.
    static Controller* instance();

    // documentsDir replaces the system's Documents location (tests); appDir the installation folder.
    explicit Controller(
        const QString& documentsDir = QString(), const QString& appDir = QString(), QObject* parent = nullptr);
    ~Controller() override;

    // Start-up initialisation: helper ports, settings, saved lists, port table, ASN data.
    bool init();
    // Forced kill of every process with this executable name and its children.
    void killProcess(const QString& name);

    // --- versions and accessors ---
    Q_INVOKABLE QString getVersion() const;
    Q_INVOKABLE QString getShowVersion() const;
    Q_INVOKABLE bool getIsLogin() const { return isLogin; }
    Q_INVOKABLE void setIsLogin(bool value) { isLogin = value; }
    Q_INVOKABLE bool getAutoLogin() const { return autoLogin; }
    Q_INVOKABLE void setAutoLogin(bool value) { autoLogin = value; }
    Q_INVOKABLE bool getIsStart() const { return isStart; }
    Q_INVOKABLE void setIsStart(bool value) { isStart = value; }
    Q_INVOKABLE int getPortNum() const { return portNum; }
    Q_INVOKABLE void setPortNum(int value) { portNum = value; }
    Q_INVOKABLE int getStartPort() const { return startPort; }
    Q_INVOKABLE int getLocalPort() const { return apiPort; }
    Q_INVOKABLE int getPortForProgrameProxy() const { return programPort; }
    Q_INVOKABLE bool getIsDriverRun() const { return isDriverRun; }
    Q_INVOKABLE QString getLocalIp() const { return localIp; }
    Q_INVOKABLE QString getProxyServerAddress() const { return proxyServerAddress; }
    Q_INVOKABLE int getStringLength(const QString& msg) const { return msg.length(); }
    Q_INVOKABLE void qmlSleep(int sec);
    Q_INVOKABLE QStringList getLangList() const;

    // --- settings file ---
    Q_INVOKABLE bool readConfigFromFile();
    Q_INVOKABLE void saveConfigToFile();

    // --- local proxy helper ---
    Q_INVOKABLE void stopProxy();

    // Read by components and tests.
    const AppPaths& paths() const { return m_paths; }
    const QString& unionId() const { return m_unionId; }
    int notificationPort() const { return m_notificationPort; }
    const zq::ServiceAddresses& addresses() const { return m_addresses; }
    const PayloadCodec& codec() const { return m_codec; }

signals:
    void proxyClientMessage(QString msg);
    void interfaceTimeout(QString type);

private slots:
    void recvUdpSocketFromLocalProxy();

private:
    void initTimer();

    QString m_appDir;
    zq::ServiceAddresses m_addresses;
    QString proxyServerAddress;
    PayloadCodec m_codec;
    AppPaths m_paths;

    QString localIp;
    QString m_macAddress;
    QString m_unionId;

    int apiPort;
    int programPort = 0;
    int m_notificationPort = 0;
    int startPort;
    int portNum;

    bool isLogin = false;
    bool autoLogin = true;
    bool isStart = false;
    bool isDriverRun = false;
    bool encodeDataFiles = true;

    QProcess* m_helperProcess = nullptr;
    QUdpSocket* m_notificationSocket = nullptr;
    QTimer* timer4LocalEvent = nullptr;
    QTimer* timer4AreaList = nullptr;
    QTimer* timer4ServicStatue = nullptr;
    QTimer* timer4TodayList = nullptr;
};
