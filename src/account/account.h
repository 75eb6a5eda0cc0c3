#pragma once
// The account conversation with the service: login and logout, remote configuration, the
// environment checks, the balances, the update check and installer download, and the prices.
// Requests go through the RequestLayer; replies come back through the handlers installed here.

#include "endpoints.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class PayloadCodec;
class QNetworkReply;
class QSaveFile;
class RequestLayer;
struct AppPaths;

// What a login changes outside the account records; the Controller fills these in.
struct AccountHooks {
    std::function<bool()> isLogin;
    std::function<void(bool)> setIsLogin;
    // Writes the settings file after a successful login.
    std::function<void()> saveConfig;
    // Reads the program list of the account that just logged in.
    std::function<void(const QString& username)> readProgramList;
    // A different account logged in: swap the saved lists and request them again.
    std::function<void(const QString& username)> accountChanged;
};

class Account : public QObject {
    Q_OBJECT
public:
    // All four outlive the account.
    Account(RequestLayer* requests, const PayloadCodec* codec, const zq::ServiceAddresses* addresses,
        const AppPaths* paths, QObject* parent = nullptr);
    ~Account() override;

    void setHooks(AccountHooks hooks) { m_hooks = std::move(hooks); }

    void login(const QString& username, const QString& passwd);
    void loginOut();
    void getConfig();
    void checkIp();
    void checkPorxy();

    void getUserIpNumber();
    void getUserExpTime();
    void getUserResiTraffic();

    void checkUpdate();
    // Downloads the installer into configDir; one download at a time, a new one replaces the old.
    void downloadUpdateFile(const QString& url);
    static QString getUpdateFileName();
    QString updateFilePath() const;
    bool isDownloading() const { return m_downloadReply != nullptr; }

    void getPriceInfo();

    // Reply handlers, public so that recorded replies can be fed in directly.
    void dealLoginInfo(const QJsonObject& object);
    void dealLogout(const QJsonObject& object);
    void dealConfigInfo(const QJsonObject& object);
    void dealCheckIp(const QJsonObject& object);
    void dealCheckPorxy(const QJsonObject& object);
    void dealUserIpNumInfo(const QJsonObject& object);
    void dealUserExpTime(const QJsonObject& object);
    void dealUserResiTrafficInfo(const QJsonObject& object);
    void dealUpdateInfo(const QJsonObject& object);
    void dealPriceInfo(const QJsonObject& object);

signals:
    void loginStatus(bool status, QString message);
    void loginOutStatus(bool status, QString message);
    void checkIpStatus(bool status, QString ip, QString message, int code);
    void checkProxyStatus(bool Pstatus);
    void getUserIpNumsStatus(bool status, QString message);
    void getUserExpTimeStatus(bool status, QString message);
    void getUserResiTrafficInfoStatus(bool status, QString message);
    void updateStatus(bool status, QString message);
    void sendDownloadUpdatePraProgress(int currentValue, int maxValue);
    void sendDownloadFileSuccess();
    // The installer could not be fetched or written; nothing is left at its path.
    void sendDownloadFileFailed(QString message);
    void priceInfo(bool status, QList<QString> IPNums, QList<QString> currentPrice, QList<QString> beforePrice,
        QList<QString> unitPrice);

private slots:
    void readContent();
    void onDownloadProgress(qint64 currentValue, qint64 maxValue);
    void onFinished();

private:
    void post(const zq::Endpoint& endpoint, const QList<QPair<QString, QByteArray>>& fields = {});
    bool isLogin() const { return m_hooks.isLogin && m_hooks.isLogin(); }
    void setIsLogin(bool value);
    void failDownload(const QString& message);

    RequestLayer* m_requests;
    const PayloadCodec* m_codec;
    const zq::ServiceAddresses* m_addresses;
    const AppPaths* m_paths;
    AccountHooks m_hooks;

    // Installer download in flight.
    QNetworkReply* m_downloadReply = nullptr;
    QSaveFile* m_downloadFile = nullptr;
    int m_downloadTotal = 0;
    qint64 m_downloadWritten = 0;
};
