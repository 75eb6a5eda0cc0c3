// Controller: today and favourite lists, upkeep and reconciliation, today search, the
// port-forward view and the API link. Each invokable hands its work to its component.
#include "controller.h"

#include "clock.h"
#include "constants.h"
#include "favourites.h"
#include "helperprocess.h"
#include "portbindings.h"
#include "portforward.h"
#include "portinfo.h"
#include "porttable.h"
#include "recordlistmodel.h"
#include "requestlayer.h"
#include "requestposter.h"
#include "savedlists.h"
#include "todaylists.h"
#include "todaysearch.h"
#include "upkeep.h"
#include "userinfo.h"

#include <QDebug>
#include <QTimer>

using zq::catalogue::Plan;
using zq::lists::Kind;

void Controller::initSavedLines()
{
    using zq::lists::Favourites;
    using zq::lists::TodayLists;
    const zq::catalogue::Poster poster = zq::catalogue::requestPoster(m_requests);

    m_today = new TodayLists(m_savedLists, &m_codec, m_unionId, this);
    m_today->setAddresses(&m_addresses);
    m_today->setPoster(poster);
    m_today->setGetter(
        [this](const QString& url, const QUrlQuery& query) { m_requests->httpRequestByGet(url, query); });
    zq::lists::Rebinder rebinder;
    rebinder.setPortSession
        = [this](const QString& sessionId, const QString& ip, int port, const QString& server, const QString& sn,
              int openPort, const QString& area, const QString& region, bool isNeedCharge, bool usable) {
              m_bindings->setPortSession(sessionId, ip, port, server, sn, openPort, area, region, isNeedCharge, usable);
          };
    rebinder.setPortSessionS5U = [this](const QString& sessionId, const QString& ip, int port, const QString& server,
                                     const QString& sn, int openPort, const QString& area, const QString& region,
                                     bool isNeedCharge, bool usable) {
        m_bindings->setPortSessionS5U(sessionId, ip, port, server, sn, openPort, area, region, isNeedCharge, usable);
    };
    rebinder.setPortSessionResiTraffic
        = [this](const QString& sessionId, const QString& ip, int port, const QString& server, const QString& sn,
              const QString& area, const QString& region, bool usable, const QString& planTypeKey) {
              m_bindings->setPortSessionResiTraffic(sessionId, ip, port, server, sn, area, region, usable, planTypeKey);
          };
    rebinder.compareIpAndPortState = [this]() { compareIpAndPortState(); };
    rebinder.programPort = [this]() { return programPort; };
    rebinder.inRange = [this](int port) { return m_portTable->inRange(port); };
    m_today->setRebinder(std::move(rebinder));
    connect(m_today, &TodayLists::getTodayListStatus, this, &Controller::getTodayListStatus);
    connect(m_today, &TodayLists::getTodayResiTrafficStatus, this, &Controller::getTodayResiTrafficStatus);
    connect(m_today, &TodayLists::getTodayUnlimitListStatus, this, &Controller::getTodayUnlimitListStatus);
    m_requests->setHandler(
        Route::TodayList, [this](const QJsonObject& reply, const QString& tag) { m_today->dealTodayList(reply, tag); });
    m_requests->setHandler(Route::HelperTodayList,
        [this](const QJsonObject& reply, const QString&) { m_today->dealHelperTodayList(reply); });

    m_favourites = new Favourites(m_savedLists, &m_codec, m_unionId, this);
    m_favourites->setAddresses(&m_addresses);
    m_favourites->setPoster(poster);
    connect(m_favourites, &Favourites::getFavouriteListStatus, this, &Controller::getFavouriteListStatus);
    connect(m_favourites, &Favourites::setFavouriteStatus, this, &Controller::setFavouriteStatus);
    connect(m_favourites, &Favourites::setDislikeStatus, this, &Controller::setDislikeStatus);
    connect(m_favourites, &Favourites::setFavouriteRemarkStatus, this, &Controller::setFavouriteRemarkStatus);
    m_requests->setHandler(Route::FavouriteInfo,
        [this](const QJsonObject& reply, const QString& tag) { m_favourites->dealGetFavouriteList(reply, tag); });
    m_requests->setHandler(Route::FavouriteAdd,
        [this](const QJsonObject& reply, const QString& tag) { m_favourites->dealFavouriteInfo(reply, tag); });
    m_requests->setHandler(Route::FavouriteRemark,
        [this](const QJsonObject& reply, const QString& tag) { m_favourites->dealFavouriteRemark(reply, tag); });
    m_requests->setHandler(Route::FavouriteDislike,
        [this](const QJsonObject& reply, const QString&) { m_favourites->dealDislike(reply); });

    m_upkeep = new zq::ports::Upkeep(m_portTable, m_savedLists, m_bindings, &m_addresses, this);
    m_upkeep->setPoster(poster);
    m_requests->setHandler(Route::CheckApiPort,
        [this](const QJsonObject& reply, const QString&) { m_upkeep->dealCompareIpAndPortState(reply); });

    m_forward = new zq::ports::PortForward(m_portTable, m_savedLists, &m_bindings->portForwardList(), this);

    connect(timer4LocalEvent, &QTimer::timeout, this, [this]() {
        qDebug() << zq::clock::now() << "timer4LocalEvent";
        doLocalEvent();
    });
    connect(timer4TodayList, &QTimer::timeout, this, [this]() {
        qDebug() << zq::clock::now() << "timer4TodayList";
        getTodayList(zq::kKeyS5);
        getTodayListV2();
        getTodayList(zq::kKeyResiTraffic);
        getUserIpNumber();
        getFavouriteList(zq::kKeyS5);
        getFavouriteList(zq::kKeyResiTraffic);
        const UserInfo* user = UserInfo::instance();
        login(user->getUserName(), user->getPassword());
        compareIpAndPortState();
    });
}

// --- upkeep and reconciliation ---

void Controller::startTimer()
{
    timer4LocalEvent->start(60000);
}

void Controller::stopTimer()
{
    timer4LocalEvent->stop();
}

void Controller::doLocalEvent()
{
    m_upkeep->doLocalEvent();
}

void Controller::compareIpAndPortState()
{
    m_upkeep->compareIpAndPortState();
}

// --- today and favourite lists ---

void Controller::getTodayList(QString plantype)
{
    m_today->getTodayList(plantype);
}
void Controller::getUnlimitTodayList(QString type)
{
    m_today->getUnlimitTodayList(type);
}
void Controller::getTodayListV2()
{
    m_today->getTodayListV2();
}
void Controller::setAllTodayPortSession()
{
    m_today->setAllTodayPortSession();
}
void Controller::setAllTodayUnlimitPortSession()
{
    m_today->setAllTodayUnlimitPortSession();
}
void Controller::getFavouriteList(QString plantype)
{
    m_favourites->getFavouriteList(plantype);
}

QList<QObject*> Controller::getFavouriteInfo()
{
    const QList<QObject*>& list = m_savedLists->list(Kind::Favourite, Plan::S5);
    qDebug() << "proxyFavouriteInfoList size=" << list.size();
    return list;
}

QList<QObject*> Controller::getFavouriteResiTrafficInfo()
{
    const QList<QObject*>& list = m_savedLists->list(Kind::Favourite, Plan::ResiTraffic);
    qDebug() << "proxyFavouriteResiTrafficInfoList size=" << list.size();
    return list;
}

QList<QObject*> Controller::getFavouriteUnlimitInfo()
{
    const QList<QObject*>& list = m_savedLists->list(Kind::Favourite, Plan::Unlimited);
    qDebug() << "proxyFavouriteUnlimitInfoList size=" << list.size();
    return list;
}

void Controller::setFavourite(
    QString username, QString ip, QString area, QString sn, QString server, QString sessionId, QString plantype)
{
    m_favourites->setFavourite(username, ip, area, sn, server, sessionId, plantype);
}

void Controller::setFavouriteUnlimit(
    QString username, QString ip, QString area, QString sn, QString server, QString sessionId)
{
    m_favourites->setFavouriteUnlimit(username, ip, area, sn, server, sessionId);
}

void Controller::setDislikeIP(
    QString username, QString ip, QString sn, QString server, QString sessionId, QString plantype)
{
    m_favourites->setDislikeIP(username, ip, sn, server, sessionId, plantype);
}

void Controller::setDislikeIPUnlimit(QString username, QString ip, QString sn, QString server, QString sessionId)
{
    m_favourites->setDislikeIPUnlimit(username, ip, sn, server, sessionId);
}

void Controller::setFavouriteRemark(QString ip, QString planType, QString remarks)
{
    m_favourites->setFavouriteRemark(ip, planType, remarks);
}

// --- today search, port-forward view and export ---

QList<QObject*> Controller::searchTodayList(QString type, QString countryName, QString stateName, QString cityName,
    QString bindType, QString startIp, QString endIp)
{
    // The result only shows records: it keeps none alive (the today list owns them).
    if (type != QLatin1String("S5") && type != QLatin1String("Resident Traffic"))
        return {};
    const Plan plan = type == QLatin1String("S5") ? Plan::S5 : Plan::ResiTraffic;
    return zq::lists::searchToday(
        m_savedLists->list(Kind::Today, plan), { countryName, stateName, cityName, bindType, startIp, endIp });
}

QStringList Controller::searchBindType(QString text)
{
    return zq::lists::searchBindType(text);
}

QList<QObject*> Controller::getPortForwordList()
{
    // A new build deletes the previous one's entries: the model takes the new ones at once.
    QList<QObject*> entries = m_forward->getPortForwordList();
    m_portForwardModel->show(withoutProgramPort(entries));
    return entries;
}

QString Controller::getCopyAllInfo()
{
    return m_forward->getCopyAllInfo(localIp, programPort);
}

QString Controller::createApiLink(QString country, QString state, QString city, QString zip, QString isp, QString num,
    QString startPort, QString dataType, QString startIP, QString endIP)
{
    return zq::ports::PortForward::createApiLink(
        localIp, apiPort, country, state, city, zip, isp, num, startPort, dataType, startIP, endIP, getApiLinkKey());
}

QString Controller::getApiLinkKey()
{
    // The key comes from what the running helper was started with; the client's own session id
    // changes with every periodic login. Before a start: what the next start will pass.
    const bool running = m_helper->isRunning() && !m_helper->lastArguments().isEmpty();
    const QString sessionId
        = running ? m_helper->startArgument(QStringLiteral("sessionid")) : UserInfo::instance()->getSessionId();
    const QString unionId = running ? m_helper->startArgument(QStringLiteral("uuid")) : m_unionId;
    return zq::ports::PortForward::apiLinkKey(sessionId, unionId);
}
