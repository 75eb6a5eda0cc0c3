#pragma once
// Every conversation with the service and the local helper: multipart POSTs through a pool of
// network managers, a watchdog per request, and one dispatcher that routes replies by name.

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrlQuery>
#include <functional>

class QHttpMultiPart;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class PayloadCodec;

// Replies the dispatcher recognises, in the order it tests them.
enum class Route {
    CheckUpdate,
    Config,
    Login,
    Logout,
    GetIp,
    LimitInfo,
    UserFlow,
    SetPortSession,
    FreedProxyPort,
    DelPortSession,
    ServerStatus,
    ResetPort,
    ResiLineList,
    LineList,
    UnlimitLineList,
    AreaList,
    CheckIp,
    CheckProxy,
    TodayList,
    HelperTodayList,
    SnIsExist,
    CheckPortStatus,
    FavouriteAdd,
    FavouriteRemark,
    FavouriteInfo,
    CheckApiPort,
    FavouriteDislike,
    IpsPackage,
};

class RequestLayer : public QObject {
    Q_OBJECT
public:
    // Called with the reply object and, for routes that carry one, the caller's type tag.
    using Handler = std::function<void(const QJsonObject& reply, const QString& type)>;

    // unionId and codec are the Controller's; both outlive the layer.
    RequestLayer(const QString& unionId, const PayloadCodec* codec, QObject* parent = nullptr);
    ~RequestLayer() override;

    // A new form body; add fields with addFormPart. The body is freed with its reply.
    static QHttpMultiPart* newForm();
    static void addFormPart(QHttpMultiPart* body, const QString& name, const QByteArray& value);

    // Both return the reply in flight (the layer owns it; it is gone once handled), or null.
    QNetworkReply* httpRequestByPost(const QString& url, QHttpMultiPart* body, const QString& type = QString());
    QNetworkReply* httpRequestByGet(const QString& url, const QUrlQuery& query);

    // Owners of each subject install their handler; a route without one only logs its reply.
    void setHandler(Route route, Handler handler);
    // Extra work after a timed-out or failed request of a route (besides interfaceTimeout).
    void setFailureHook(Route route, std::function<void()> hook);

    int poolIndex() const { return m_poolIndex; }
    int poolSize() const { return m_pool.size(); }
    QNetworkAccessManager* managerAt(int index) const { return m_pool.value(index); }
    QNetworkAccessManager* downloadManager() const { return m_download; }

    // The union id is known only after the machine identity is read, later than the pool.
    void setUnionId(const QString& unionId) { m_unionId = unionId; }
    // Watchdog durations in milliseconds (10000 for POST, 3000 for GET).
    void setWatchdogDurations(int postMs, int getMs);

    void setRequestHeaders(QNetworkRequest& request) const;
    void dealReplyData(QNetworkReply* reply, const QByteArray& body);
    void dealReplyTimeOut(const QString& name);

signals:
    void interfaceTimeout(QString type);

private slots:
    void replyReadyRead();

private:
    QString m_unionId;
    const PayloadCodec* m_codec;
    QList<QNetworkAccessManager*> m_pool;
    QNetworkAccessManager* m_download = nullptr;
    int m_poolIndex = 0;
    QHash<int, Handler> m_handlers;
    QHash<int, std::function<void()>> m_failureHooks;
    int m_postTimeoutMs = 10000;
    int m_getTimeoutMs = 3000;
};
