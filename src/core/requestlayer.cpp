#include "requestlayer.h"

#include "constants.h"
#include "logmask.h"
#include "payloadcodec.h"
#include "qreplytimeout.h"
#include "userinfo.h"

#include <QDateTime>
#include <QDebug>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace {

constexpr int kPoolSize = 100;

// Dispatcher table, tested in this order; `withType` routes also get the caller's type tag.
struct RouteRule {
    const char* name;
    Route route;
    bool withType;
};

// "/api/get_line_list|ResidentTraffic" must be tested before the plain line list.
const RouteRule kRoutes[] = {
    { "/api/client/socks_qt_check_update", Route::CheckUpdate, false },
    { "/api/socks/config", Route::Config, false },
    { "/api/socks/login", Route::Login, false },
    { "/api/socks/logout", Route::Logout, false },
    { "/api/socks/get_ip", Route::GetIp, false },
    { "/api/limitInfo", Route::LimitInfo, false },
    { "/api/userflow", Route::UserFlow, false },
    { "/api/set_port_session", Route::SetPortSession, true },
    { "/api/freed_proxy_port", Route::FreedProxyPort, false },
    { "/api/del_port_session", Route::DelPortSession, true },
    { "/api/get_server_status", Route::ServerStatus, false },
    { "/api/reset_port", Route::ResetPort, false },
    { "/api/get_line_list|ResidentTraffic", Route::ResiLineList, false },
    { "/api/get_line_list", Route::LineList, false },
    { "/unlimit/get_unlimit_list", Route::UnlimitLineList, false },
    { "/api/get_area_list", Route::AreaList, false },
    { "/api/check/ip", Route::CheckIp, false },
    { "/api/checkProxy", Route::CheckProxy, false },
    { "/api/todayList/getInfo", Route::TodayList, true },
    { "/ip/get_todaylist", Route::HelperTodayList, false },
    { "/api/sn_is_exist", Route::SnIsExist, true },
    { "/api/check_port_status", Route::CheckPortStatus, true },
    { "/api/favouriteList/test", Route::FavouriteAdd, true },
    { "/api/favouriteList/remark", Route::FavouriteRemark, true },
    { "/api/todayList/getFavouriteInfo", Route::FavouriteInfo, true },
    { "/api/checkApiPort", Route::CheckApiPort, false },
    { "/api/favouriteList/dislike", Route::FavouriteDislike, false },
    { "/api/get_ips_package", Route::IpsPackage, false },
};

// Timeout and failure mapping, tested in this order; an empty type sends no signal.
struct FailureRule {
    const char* name;
    Route route;
    const char* type;
};

const FailureRule kFailures[] = {
    { "/api/client/socks_qt_check_update", Route::CheckUpdate, "updateApi" },
    { "/api/socks/config", Route::Config, "configApi" },
    { "/api/check/ip", Route::CheckIp, "checkIpApi" },
    { "/api/socks/login", Route::Login, "loginApi" },
    { "/api/socks/logout", Route::Logout, "logoutApi" },
    { "/api/socks/get_ip", Route::GetIp, "getUserIpNumsApi" },
    { "/api/limitInfo", Route::LimitInfo, "getUserExpTimeApi" },
    { "/api/set_port_session", Route::SetPortSession, "setPortSessionApi" },
    { "/api/freed_proxy_port", Route::FreedProxyPort, "freeAllPortApi" },
    { "/api/del_port_session", Route::DelPortSession, "freeOnePortApi" },
    { "/api/get_line_list", Route::LineList, "lineApi" },
    { "/unlimit/get_unlimit_list", Route::UnlimitLineList, "" },
    { "/api/get_area_list", Route::AreaList, "areaApi" },
    { "/api/get_server_status", Route::ServerStatus, "" },
    { "/api/get_ips_package", Route::IpsPackage, "priceApi" },
    { "/api/userflow", Route::UserFlow, "getUserResiTrafficBalanceApi" },
    { "/api/todayList/getFavouriteInfo", Route::FavouriteInfo, "getFavouriteApi" },
    { "/api/todayList/getInfo", Route::TodayList, "getTodayListApi" },
};

const char* errorName(QNetworkReply::NetworkError error)
{
    const char* name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(error);
    return name ? name : "UnknownError";
}

} // namespace

RequestLayer::RequestLayer(const QString& unionId, const PayloadCodec* codec, QObject* parent)
    : QObject(parent)
    , m_unionId(unionId)
    , m_codec(codec)
{
    m_download = new QNetworkAccessManager(this);
    m_pool.reserve(kPoolSize);
    for (int i = 0; i < kPoolSize; ++i)
        m_pool.append(new QNetworkAccessManager(this));
}

RequestLayer::~RequestLayer() = default;

QHttpMultiPart* RequestLayer::newForm()
{
    return new QHttpMultiPart(QHttpMultiPart::FormDataType);
}

void RequestLayer::addFormPart(QHttpMultiPart* body, const QString& name, const QByteArray& value)
{
    QHttpPart part;
    part.setRawHeader("Content-Disposition", "form-data; name=\"" + name.toUtf8() + '"');
    part.setBody(value);
    body->append(part);
    // Kept only for the "req:" log line; neither the password nor its codec text reaches the log.
    const QString text = QString::fromUtf8(value);
    const QString shown = zq::logmask::isSecretField(name) ? zq::logmask::masked(text) : text;
    body->setObjectName(body->objectName() + name + QLatin1Char('=') + shown + QLatin1Char('|'));
}

void RequestLayer::setWatchdogDurations(int postMs, int getMs)
{
    m_postTimeoutMs = postMs;
    m_getTimeoutMs = getMs;
}

void RequestLayer::setHandler(Route route, Handler handler)
{
    m_handlers.insert(int(route), std::move(handler));
}

void RequestLayer::setFailureHook(Route route, std::function<void()> hook)
{
    m_failureHooks.insert(int(route), std::move(hook));
}

void RequestLayer::setRequestHeaders(QNetworkRequest& request) const
{
    const UserInfo* user = UserInfo::instance();
    request.setRawHeader("session-id", user->getSessionId().toLocal8Bit());
    request.setRawHeader("platform", "pc");
    request.setRawHeader("oem", "zq");
    request.setRawHeader("language", "en");
    request.setRawHeader("channel", "normal");
    request.setRawHeader("union-id", m_unionId.toUtf8());
    request.setRawHeader("version", QByteArray(zq::kShowVersion));
    request.setRawHeader("timestamp", QByteArray::number(QDateTime::currentSecsSinceEpoch()));
    request.setRawHeader("username", user->getUserName().toLocal8Bit());
    request.setRawHeader("uid", QByteArray::number(user->getUid()));
}

QNetworkReply* RequestLayer::httpRequestByPost(const QString& url, QHttpMultiPart* body, const QString& type)
{
    if (!body)
        body = newForm();
    qDebug() << "req:" << url << ", post_data:" << body->objectName();

    QNetworkRequest request { QUrl(url) };
    setRequestHeaders(request);
    QNetworkAccessManager* manager = m_pool.at(m_poolIndex);
    // A fresh connection for every request.
    manager->clearConnectionCache();
    QNetworkReply* reply = manager->post(request, body);
    m_poolIndex = (m_poolIndex + 1) % m_pool.size();
    qDebug() << "current accessManager: " << m_poolIndex;

    if (!reply) {
        delete body;
        return nullptr;
    }
    // The form must outlive the upload; it goes with its reply.
    body->setParent(reply);
    reply->setObjectName(url + QLatin1Char('|') + type);
    connect(reply, &QNetworkReply::finished, this, &RequestLayer::replyReadyRead);

    auto* watchdog = new QReplyTimeout(reply, m_postTimeoutMs);
    connect(watchdog, &QReplyTimeout::timeout, this, [this, reply, url]() {
        dealReplyTimeOut(url);
        disconnect(reply, &QNetworkReply::finished, this, &RequestLayer::replyReadyRead);
        reply->deleteLater();
        reply->close();
    });
    return reply;
}

QNetworkReply* RequestLayer::httpRequestByGet(const QString& url, const QUrlQuery& query)
{
    qDebug() << "httpRequestByGet接口:" << url;
    QUrl target(url);
    target.setQuery(query);
    QNetworkReply* reply = m_download->get(QNetworkRequest(target));
    if (!reply)
        return nullptr;
    reply->setObjectName(url);
    connect(reply, &QNetworkReply::finished, this, &RequestLayer::replyReadyRead);

    auto* watchdog = new QReplyTimeout(reply, m_getTimeoutMs);
    connect(watchdog, &QReplyTimeout::timeout, this, [this, reply]() {
        disconnect(reply, &QNetworkReply::finished, this, &RequestLayer::replyReadyRead);
        reply->deleteLater();
        reply->close();
    });
    return reply;
}

void RequestLayer::replyReadyRead()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    qDebug().noquote() << "resp:" << reply->objectName() << "code:" << status << "bytes=" << reply->bytesAvailable();

    if (reply->error() != QNetworkReply::NoError) {
        const QString error
            = QStringLiteral("<reply error:%1><code:%2>").arg(QLatin1String(errorName(reply->error()))).arg(status);
        qDebug().noquote() << reply->url().toString() << ":" << error;
        dealReplyTimeOut(reply->objectName());
    } else {
        dealReplyData(reply, reply->readAll());
    }
    reply->close();
    reply->deleteLater();
}

void RequestLayer::dealReplyData(QNetworkReply* reply, const QByteArray& body)
{
    const QString name = reply->objectName();
    QByteArray text = body;
    // The helper scrambles its whole binding reply.
    if (name.contains(QLatin1String("/api/set_port_session")))
        text = m_codec->decode(QString::fromUtf8(body));

    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        qDebug() << "error=" << error.error;
        return;
    }
    const QJsonObject object = document.object();
    if (object.isEmpty())
        return;

    for (const RouteRule& rule : kRoutes) {
        if (!name.contains(QLatin1String(rule.name)))
            continue;
        if (rule.route == Route::ResetPort) {
            qDebug() << "dealResetPort=" << zq::logmask::maskedJson(object);
            if (object.value(QStringLiteral("code")).toInt(-1) == 0)
                qDebug() << "ResetPort succ";
        }
        QString type;
        if (rule.withType) {
            qDebug() << name;
            type = name.section(QLatin1Char('|'), 1, 1);
        }
        const auto handler = m_handlers.constFind(int(rule.route));
        if (handler != m_handlers.constEnd() && *handler)
            (*handler)(object, type);
        else if (rule.route != Route::ResetPort)
            qDebug() << "no handler yet for" << name << zq::logmask::maskedJson(object);
        return;
    }
    qDebug() << "接口无效";
}

void RequestLayer::dealReplyTimeOut(const QString& name)
{
    qDebug().noquote() << "request :" << name << " timeout!";
    for (const FailureRule& rule : kFailures) {
        if (!name.contains(QLatin1String(rule.name)))
            continue;
        if (*rule.type)
            emit interfaceTimeout(QString::fromLatin1(rule.type));
        const auto hook = m_failureHooks.constFind(int(rule.route));
        if (hook != m_failureHooks.constEnd() && *hook)
            (*hook)();
        return;
    }
    qDebug() << "dealReplyTimeOut 接口无效:" << name;
}
