#include "account.h"

#include "apppaths.h"
#include "constants.h"
#include "logmask.h"
#include "payloadcodec.h"
#include "requestlayer.h"
#include "updateinfo.h"
#include "userinfo.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSaveFile>
#include <QUrl>

namespace {

// A reply without an integer "code" is a failure for every endpoint, whatever its success value.
int codeOf(const QJsonObject& object)
{
    return object.value(QStringLiteral("code")).toInt(-1);
}

QString textOf(const QJsonObject& object, const char* key)
{
    return object.value(QLatin1String(key)).toString();
}

// Integers the service may send beyond 32 bits (Unix times).
qint64 int64Of(const QJsonObject& object, const char* key)
{
    return qint64(object.value(QLatin1String(key)).toDouble());
}

// Prices arrive as texts; numbers are taken at their value too.
double priceOf(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString().toDouble() : value.toDouble();
}

int countOf(const QJsonObject& object, const char* key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? value.toString().toInt() : value.toInt();
}

const char* errorName(QNetworkReply::NetworkError error)
{
    const char* name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? name : "UnknownError";
}

} // namespace

Account::Account(RequestLayer* requests, const PayloadCodec* codec, const zq::ServiceAddresses* addresses,
    const AppPaths* paths, QObject* parent)
    : QObject(parent)
    , m_requests(requests)
    , m_codec(codec)
    , m_addresses(addresses)
    , m_paths(paths)
{
    auto install = [this](Route route, void (Account::*handler)(const QJsonObject&)) {
        m_requests->setHandler(
            route, [this, handler](const QJsonObject& object, const QString&) { (this->*handler)(object); });
    };
    install(Route::Login, &Account::dealLoginInfo);
    install(Route::Logout, &Account::dealLogout);
    install(Route::Config, &Account::dealConfigInfo);
    install(Route::CheckIp, &Account::dealCheckIp);
    install(Route::CheckProxy, &Account::dealCheckPorxy);
    install(Route::GetIp, &Account::dealUserIpNumInfo);
    install(Route::LimitInfo, &Account::dealUserExpTime);
    install(Route::UserFlow, &Account::dealUserResiTrafficInfo);
    install(Route::CheckUpdate, &Account::dealUpdateInfo);
    install(Route::IpsPackage, &Account::dealPriceInfo);
}

Account::~Account()
{
    if (m_downloadReply) {
        disconnect(m_downloadReply, nullptr, this, nullptr);
        m_downloadReply->abort();
        m_downloadReply->deleteLater();
    }
    // An uncommitted QSaveFile discards its temporary file.
    delete m_downloadFile;
}

void Account::post(const zq::Endpoint& endpoint, const QList<QPair<QString, QByteArray>>& fields)
{
    QHttpMultiPart* body = RequestLayer::newForm();
    for (const auto& field : fields)
        RequestLayer::addFormPart(body, field.first, field.second);
    m_requests->httpRequestByPost(m_addresses->url(endpoint), body, QString());
}

void Account::setIsLogin(bool value)
{
    if (m_hooks.setIsLogin)
        m_hooks.setIsLogin(value);
}

// ---- login, logout, configuration, environment checks ----

void Account::login(const QString& username, const QString& passwd)
{
    qDebug() << "username:" << username;
    // The password itself never goes to the log.
    qDebug() << "passwd:" << zq::logmask::masked(passwd);
    if (username.isEmpty() || passwd.isEmpty())
        return;
    post(zq::ep::Login,
        { { QStringLiteral("username"), username.toUtf8() }, { QStringLiteral("password"), passwd.toUtf8() } });
}

void Account::loginOut()
{
    post(zq::ep::Logout);
}

void Account::getConfig()
{
    post(zq::ep::Config);
}

void Account::checkIp()
{
    post(zq::ep::CheckIp);
}

void Account::checkPorxy()
{
    post(zq::ep::CheckProxy);
}

void Account::dealLoginInfo(const QJsonObject& object)
{
    qDebug() << "dealLoginInfo:" << zq::logmask::maskedJson(object);
    UserInfo* user = UserInfo::instance();
    if (codeOf(object) != 0) {
        // A logged-in account was refused, e.g. its password changed elsewhere: end its session.
        if (isLogin()) {
            qDebug() << "password change!";
            post(zq::ep::Logout);
        }
        emit loginStatus(false, textOf(object, "msg"));
        setIsLogin(false);
        return;
    }

    const QJsonObject ret = object.value(QStringLiteral("ret_data")).toObject();
    qDebug() << zq::logmask::maskedJson(ret);
    user->setSessionId(textOf(ret, "session_id"));
    const QJsonObject info = ret.value(QStringLiteral("info")).toObject();
    const QString pwd = textOf(info, "pwd");
    const QString password = m_codec->decodeText(pwd);
    const int uid = info.value(QStringLiteral("uid")).toInt();
    qDebug() << "last uid,user,emal,pwd:" << user->getUid() << user->getUserName() << user->getEmail()
             << zq::logmask::masked(user->getPassword());
    qDebug() << "now uid,user,emal,pwd:" << uid << textOf(info, "username") << textOf(info, "email")
             << zq::logmask::masked(password);

    bool changed = false;
    if (uid == user->getUid()) {
        qDebug() << "user not change!";
        if (password != user->getPassword())
            qDebug() << "password change!";
    } else {
        qDebug() << "user change!";
        changed = true;
    }

    user->setUserName(textOf(info, "username"));
    user->setEmail(textOf(info, "email"));
    user->setPwd(pwd);
    user->setPassword(password);
    user->setIpNums(info.value(QStringLiteral("ip_nums")).toInt());
    user->setUid(uid);
    user->setToken(textOf(ret, "token"));
    user->setExpireUTC(uint(int64Of(ret, "expire_time")));
    user->setServer(textOf(ret, "server"));

    setIsLogin(true);
    if (m_hooks.saveConfig)
        m_hooks.saveConfig();
    if (m_hooks.readProgramList)
        m_hooks.readProgramList(user->getUserName());
    if (changed) {
        qDebug() << "user change!";
        if (m_hooks.accountChanged)
            m_hooks.accountChanged(user->getUserName());
    }
    emit loginStatus(true, QString());
}

void Account::dealLogout(const QJsonObject& object)
{
    qDebug() << object;
    // Only 1 means the service ended the session.
    const bool ok = codeOf(object) == 1;
    emit loginOutStatus(ok, QString());
    setIsLogin(!ok);
}

void Account::dealConfigInfo(const QJsonObject& object)
{
    if (codeOf(object) == 0)
        qDebug() << "dealConfigInfo" << object.value(QStringLiteral("ret_data")).toObject();
}

void Account::dealCheckIp(const QJsonObject& object)
{
    qDebug() << "dealCheckIp:" << object;
    const QString ip = object.value(QStringLiteral("ret_data")).toObject().value(QStringLiteral("ip")).toString();
    const QString message = textOf(object, "msg");
    const int code = codeOf(object);
    if (code == 0) {
        emit checkIpStatus(true, ip, message, 0);
    } else {
        qDebug() << "国内IP";
        emit checkIpStatus(false, ip, message, code);
    }
}

void Account::dealCheckPorxy(const QJsonObject& object)
{
    qDebug() << "dealCheckPorxy:" << object;
    if (codeOf(object) == 1) {
        emit checkProxyStatus(true);
    } else {
        qDebug() << "国内IP";
        emit checkProxyStatus(false);
    }
}

// ---- balances ----

void Account::getUserIpNumber()
{
    post(zq::ep::GetIp);
}

void Account::getUserExpTime()
{
    post(zq::ep::LimitInfo, { { QStringLiteral("username"), UserInfo::instance()->getUserName().toUtf8() } });
}

void Account::getUserResiTraffic()
{
    post(zq::ep::UserFlow, { { QStringLiteral("uid"), QByteArray::number(UserInfo::instance()->getUid()) } });
}

void Account::dealUserIpNumInfo(const QJsonObject& object)
{
    qDebug() << "dealUserIpNumInfo=" << object;
    if (codeOf(object) != 0) {
        emit getUserIpNumsStatus(false, QString());
        return;
    }
    const QJsonObject ret = object.value(QStringLiteral("ret_data")).toObject();
    UserInfo::instance()->setIpNums(ret.value(QStringLiteral("ip_num")).toInt());
    emit getUserIpNumsStatus(true, QString());
}

void Account::dealUserExpTime(const QJsonObject& object)
{
    qDebug() << "dealUserExpTime=" << object;
    if (codeOf(object) != 0) {
        emit getUserExpTimeStatus(false, QString());
        return;
    }
    UserInfo* user = UserInfo::instance();
    const QJsonObject ret = object.value(QStringLiteral("ret_data")).toObject();
    user->setExpireUTC(uint(int64Of(ret, "expire_time")));
    user->setUid(ret.value(QStringLiteral("uid")).toInt());
    user->setServer(textOf(ret, "server"));
    if (user->getExpireUTC() == 0)
        emit getUserExpTimeStatus(false, QStringLiteral("Please recharge"));
    else
        emit getUserExpTimeStatus(true, QString());
}

void Account::dealUserResiTrafficInfo(const QJsonObject& object)
{
    qDebug() << "dealUserResiTrafficInfo=" << object;
    UserInfo* user = UserInfo::instance();
    // Success is 1 here, and the payload sits under "data".
    if (codeOf(object) != 1) {
        user->setResiTrafficRemain(0);
        user->setResiTrafficAll(0);
        emit getUserResiTrafficInfoStatus(false, QString());
        return;
    }
    const QJsonObject data = object.value(QStringLiteral("data")).toObject();
    user->setResiTrafficRemain(data.value(QStringLiteral("balance")).toDouble());
    user->setResiTrafficAll(data.value(QStringLiteral("all_buy")).toDouble());
    const QDateTime expiry = QDateTime::fromSecsSinceEpoch(int64Of(data, "expire_time")).toLocalTime();
    user->setResiTrafficExpire(expiry.toString(QStringLiteral("yyyy-MM-dd")));
    emit getUserResiTrafficInfoStatus(true, QString());
}

// ---- update check and installer download ----

void Account::checkUpdate()
{
    qDebug() << "checkUpdate currentVersion:" << zq::kVersion;
    post(zq::ep::CheckUpdate,
        { { QStringLiteral("version"), QByteArray(zq::kVersion) },
            { QStringLiteral("type"), QByteArrayLiteral("install") } });
}

void Account::dealUpdateInfo(const QJsonObject& object)
{
    qDebug() << "dealUpdateInfo:" << object;
    UpdateInfo* update = UpdateInfo::instance();
    // 1 means an update is offered.
    if (codeOf(object) != 1) {
        update->setIsNeedUpdate(false);
        emit updateStatus(false, QString());
        return;
    }
    const QJsonObject ret = object.value(QStringLiteral("ret_data")).toObject();
    const QJsonValue force = ret.value(QStringLiteral("force_update"));
    update->setForceUpdate(force.isBool() ? force.toBool() : force.toString() == QLatin1String("true"));
    update->setDesc(textOf(ret, "desc"));
    // Version texts are also taken when sent as numbers.
    update->setVersion(ret.value(QStringLiteral("version")).toVariant().toString());
    update->setShowVersion(ret.value(QStringLiteral("show_version")).toVariant().toString());
    update->setDownloadPath(textOf(ret, "download_path"));
    update->setDownUrl(textOf(ret, "down_url"));
    update->setIsNeedUpdate(true);
    emit updateStatus(true, QString());
}

QString Account::getUpdateFileName()
{
    return QString::fromLatin1(zq::kUpdateFileName);
}

QString Account::updateFilePath() const
{
    return m_paths->configDir + QLatin1Char('/') + getUpdateFileName();
}

void Account::downloadUpdateFile(const QString& url)
{
    qDebug() << "down url=" << url;
    if (m_downloadReply) {
        qDebug() << "down: the previous download is replaced";
        disconnect(m_downloadReply, nullptr, this, nullptr);
        m_downloadReply->abort();
        m_downloadReply->deleteLater();
        m_downloadReply = nullptr;
    }
    delete m_downloadFile;
    m_downloadFile = nullptr;
    m_downloadTotal = 0;
    m_downloadWritten = 0;

    const QString path = updateFilePath();
    // An older installer must not be taken for this one.
    QFile::remove(path);
    const QUrl target(url);
    if (!target.isValid() || target.isRelative()) {
        failDownload(QStringLiteral("invalid download address: ") + url);
        return;
    }
    // Written beside the target and renamed into place only when complete.
    m_downloadFile = new QSaveFile(path, this);
    if (!m_downloadFile->open(QIODevice::WriteOnly)) {
        failDownload(QStringLiteral("cannot write ") + path + QStringLiteral(": ") + m_downloadFile->errorString());
        return;
    }
    qDebug() << "down file=" << m_downloadFile->fileName();

    QNetworkRequest request(target);
    // Installers are often served from elsewhere than the address the service names.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_downloadReply = m_requests->downloadManager()->get(request);
    connect(m_downloadReply, &QNetworkReply::readyRead, this, &Account::readContent);
    connect(m_downloadReply, &QNetworkReply::downloadProgress, this, &Account::onDownloadProgress);
    connect(m_downloadReply, &QNetworkReply::finished, this, &Account::onFinished);
}

void Account::readContent()
{
    if (!m_downloadReply || !m_downloadFile)
        return;
    const QByteArray data = m_downloadReply->readAll();
    if (data.isEmpty())
        return;
    if (m_downloadFile->write(data) != data.size()) {
        failDownload(QStringLiteral("write failed: ") + m_downloadFile->errorString());
        return;
    }
    m_downloadWritten += data.size();
}

void Account::onDownloadProgress(qint64 currentValue, qint64 maxValue)
{
    m_downloadTotal = int(maxValue);
    emit sendDownloadUpdatePraProgress(int(currentValue), int(maxValue));
}

void Account::onFinished()
{
    QNetworkReply* reply = m_downloadReply;
    if (!reply || sender() != reply)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        qDebug() << "down file err:" << errorName(reply->error());
        failDownload(QStringLiteral("download failed: ") + reply->errorString());
        return;
    }
    readContent();
    if (!m_downloadReply)
        return; // the last write failed and ended the download
    m_downloadReply = nullptr;
    reply->deleteLater();

    // Only a download of known size that arrived whole counts.
    if (m_downloadTotal <= 0) {
        failDownload(QStringLiteral("download failed: the size of the file was never reported"));
        return;
    }
    if (m_downloadWritten != m_downloadTotal) {
        failDownload(
            QStringLiteral("download failed: %1 of %2 bytes arrived").arg(m_downloadWritten).arg(m_downloadTotal));
        return;
    }
    if (!m_downloadFile->commit()) {
        failDownload(
            QStringLiteral("cannot write ") + updateFilePath() + QStringLiteral(": ") + m_downloadFile->errorString());
        return;
    }
    delete m_downloadFile;
    m_downloadFile = nullptr;
    emit sendDownloadFileSuccess();
}

void Account::failDownload(const QString& message)
{
    qDebug() << "down file fail:" << message;
    if (m_downloadReply) {
        disconnect(m_downloadReply, nullptr, this, nullptr);
        m_downloadReply->abort();
        m_downloadReply->deleteLater();
        m_downloadReply = nullptr;
    }
    if (m_downloadFile) {
        m_downloadFile->cancelWriting();
        delete m_downloadFile; // removes the partial file
        m_downloadFile = nullptr;
    }
    emit sendDownloadFileFailed(message);
}

// ---- prices ----

void Account::getPriceInfo()
{
    post(zq::ep::IpsPackage,
        { { QStringLiteral("username"), m_codec->encodeText(UserInfo::instance()->getUserName()).toUtf8() } });
}

void Account::dealPriceInfo(const QJsonObject& object)
{
    qDebug() << "dealPriceInfo=" << object;
    QList<QString> ipNums, currentPrice, beforePrice, unitPrice;
    if (codeOf(object) != 1) {
        emit priceInfo(false, ipNums, currentPrice, beforePrice, unitPrice);
        return;
    }
    const QJsonArray packages = object.value(QStringLiteral("data")).toArray();
    for (const QJsonValue& value : packages) {
        const QJsonObject package = value.toObject();
        const int num = countOf(package, "num");
        const double sale = priceOf(package, "limit_sale_price");
        ipNums.append(QString::number(num));
        currentPrice.append(QString::number(sale, 'g', 6));
        beforePrice.append(QString::number(priceOf(package, "money"), 'g', 6));
        // A package without IPs has no unit price.
        unitPrice.append(num > 0 ? QString::number(sale / num, 'f', 3) : QStringLiteral("-"));
    }
    qDebug() << ipNums << currentPrice << beforePrice << unitPrice;
    emit priceInfo(true, ipNums, currentPrice, beforePrice, unitPrice);
}
