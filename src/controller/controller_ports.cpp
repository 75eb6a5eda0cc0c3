// Controller: the port table, binding and release, the saved lists, the helper process and the
// host helpers. Each invokable hands its work to the component that owns it.
#include "controller.h"

#include "clock.h"
#include "constants.h"
#include "helperprocess.h"
#include "hostlinks.h"
#include "linecatalogue.h"
#include "platform.h"
#include "portbindings.h"
#include "porttable.h"
#include "requestlayer.h"
#include "requestposter.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>
#include <QUrl>

using zq::catalogue::Plan;
using zq::lists::Kind;

void Controller::initPorts()
{
    m_portTable = new zq::ports::PortTable(this);
    m_savedLists = new zq::lists::SavedLists(&m_codec, m_paths.configDir, this);
    m_savedLists->setPortTable(m_portTable);
    m_savedLists->setRetainCheck([this](QObject* record) { return heldOutsideSavedLists(record); });
    connect(m_savedLists, &zq::lists::SavedLists::proxyClientMessage, this, &Controller::proxyClientMessage);

    // The line queries leave out what the today lists show; a replaced line record stays alive
    // while a saved list or a port slot still shows it.
    for (Plan plan : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic }) {
        m_lines->setTodayList(plan, &m_savedLists->list(Kind::Today, plan));
        m_lines->setFavouriteList(plan, &m_savedLists->list(Kind::Favourite, plan));
    }
    m_lines->setRetainCheck(
        [this](QObject* record) { return m_savedLists->holds(record) || heldOutsideSavedLists(record); });

    m_bindings = new zq::ports::PortBindings(m_portTable, m_savedLists, m_lines, &m_codec, &m_addresses, this);
    m_bindings->setPoster(zq::catalogue::requestPoster(m_requests));
    m_bindings->setIpCountRefresh([this]() { getUserIpNumber(); });
    using zq::ports::PortBindings;
    connect(m_bindings, &PortBindings::setPortSessionStatus, this, &Controller::setPortSessionStatus);
    connect(m_bindings, &PortBindings::getUserIpNumsStatus, this, &Controller::getUserIpNumsStatus);
    connect(m_bindings, &PortBindings::bindPortForProgramProxyStatus, this, &Controller::bindPortForProgramProxyStatus);
    connect(m_bindings, &PortBindings::userNoIpNums, this, &Controller::userNoIpNums);
    connect(m_bindings, &PortBindings::userNoValidTime, this, &Controller::userNoValidTime);
    connect(m_bindings, &PortBindings::userNoIpTraffic, this, &Controller::userNoIpTraffic);
    connect(m_bindings, &PortBindings::freeOnePortStatus, this, &Controller::freeOnePortStatus);
    connect(m_bindings, &PortBindings::freePortStatus, this, &Controller::freePortStatus);

    m_requests->setHandler(Route::SetPortSession,
        [this](const QJsonObject& reply, const QString& tag) { m_bindings->dealSetPortSesssion(reply, tag); });
    m_requests->setFailureHook(Route::SetPortSession, [this]() { m_bindings->dealSetPortSessionFailed(); });
    m_requests->setHandler(Route::DelPortSession,
        [this](const QJsonObject& reply, const QString& tag) { m_bindings->dealFreeOneProxyPort(reply, tag); });
    m_requests->setHandler(Route::FreedProxyPort,
        [this](const QJsonObject& reply, const QString&) { m_bindings->dealFreeProxyPort(reply); });
    m_requests->setHandler(Route::SnIsExist,
        [this](const QJsonObject& reply, const QString& sn) { m_bindings->dealSnIsExist(reply, sn); });
    m_requests->setHandler(Route::CheckPortStatus, [](const QJsonObject& reply, const QString& port) {
        const QString data = reply.value(QLatin1String("data")).toVariant().toString();
        if (reply.value(QLatin1String("code")).toInt(-1) == 0)
            qDebug() << port << "测试通过:" << data;
        else
            qDebug() << port << "测试失败:" << data;
    });

    m_helper = new zq::helper::HelperProcess(m_requests, &m_addresses, this);
    m_portTable->setHelperPid([this]() { return m_helper->process()->processId(); });
    m_helper->setProgram(m_appDir + QLatin1Char('/') + zq::helperFileName());
    m_helper->setProxyServerAddress(QStringLiteral(ZQ_PROXY_SERVER_ADDRESS));
    m_helper->setNotificationSocket(m_notificationSocket);
    connect(m_helper, &zq::helper::HelperProcess::proxyClientMessage, this, &Controller::proxyClientMessage);
    connect(m_helper, &zq::helper::HelperProcess::sendServerStatus, this, &Controller::sendServerStatus);
    zq::helper::HelperHooks hooks;
    hooks.settings = [this]() {
        const UserInfo* user = UserInfo::instance();
        zq::helper::LaunchSettings s;
        s.userName = user->getUserName();
        s.password = user->getPassword();
        s.startPort = m_portTable->startPort();
        s.portNum = m_portTable->portNum();
        s.programPort = programPort;
        s.unionId = m_unionId;
        s.localIp = localIp;
        s.notificationPort = m_notificationPort;
        s.sessionId = user->getSessionId();
        return s;
    };
    hooks.saveConfig = [this]() { saveConfigToFile(); };
    hooks.started = [this]() {
        apiPort = m_helper->apiPort();
        m_portTable->setReservedPorts(apiPort, programPort);
        timer4LocalEvent->start(60000);
        timer4TodayList->start(60000);
    };
    hooks.stopped = [this]() {
        for (PortInfo* slot : m_portTable->list()) {
            slot->clear();
            slot->setOperateTime(0);
        }
        timer4LocalEvent->stop();
        timer4AreaList->stop();
        timer4TodayList->stop();
    };
    hooks.doLocalEvent = [this]() { doLocalEvent(); };
    hooks.setAllTodayPortSession = [this]() { setAllTodayPortSession(); };
    hooks.refreshAfterNotification = [this]() {
        getUserIpNumber();
        getTodayList(zq::kKeyS5);
        getTodayListV2();
    };
    m_helper->setHooks(std::move(hooks));

    initSavedLines();
}

void Controller::reloadListsForAccount(const QString& username)
{
    m_savedLists->reloadForAccount(username);
    getTodayList(zq::kKeyS5);
    getTodayList(zq::kKeyResiTraffic);
    getTodayListV2();
    getFavouriteList(zq::kKeyS5);
    getFavouriteList(zq::kKeyResiTraffic);
}

bool Controller::heldOutsideSavedLists(QObject* record) const
{
    for (Plan plan : { Plan::S5, Plan::Unlimited, Plan::ResiTraffic }) {
        if (m_lines->lines(plan).contains(record))
            return true;
    }
    return m_portTable->holds(record);
}

// --- local proxy helper ---

bool Controller::startProxy()
{
    return m_helper->startProxy();
}

void Controller::stopProxy()
{
    m_helper->stopProxy();
}

void Controller::getServerStatus()
{
    m_helper->getServerStatus();
}

bool Controller::getIsStart() const
{
    return m_helper->isStarted();
}

void Controller::setIsStart(bool value)
{
    m_helper->setStarted(value);
}

QString Controller::getProxyServerAddress() const
{
    return m_helper->proxyServerAddress();
}

// --- host helpers ---

QString Controller::getJumpUrl(QString type)
{
    return zq::platform::jumpUrl(type, QStringLiteral(ZQ_WEB_BASE), QStringLiteral(ZQ_COMPANY_BASE),
        QStringLiteral(ZQ_CHANNEL_LINK), UserInfo::instance()->getToken());
}

void Controller::jumpUrl(QString url)
{
    qDebug() << "jumpUrl:" << url;
    zq::platform::openUrl(QUrl(url));
}

bool Controller::runProgrameAsUAC(QString name)
{
    const int result = zq::platform::runElevated(m_appDir + QLatin1Char('/') + name, m_appDir);
    if (result > 32) {
        qDebug() << "执行成功-";
        return true;
    }
    qDebug() << "执行失败-:" << zq::platform::shellResultText(result);
    return false;
}

bool Controller::runProgrameByName(const QString& name)
{
    const QString program = m_paths.configDir + QLatin1Char('/') + name;
    qDebug() << "runProgrameByName" << program;
    return zq::platform::startDetached(program, {}, m_paths.configDir);
}

// --- port table ---

void Controller::createPortInfoList()
{
    m_portTable->createPortInfoList(
        m_savedLists->list(Kind::Today, Plan::S5), m_savedLists->list(Kind::Today, Plan::Unlimited));
}

QList<QObject*> Controller::getPortInfoList()
{
    return m_portTable->objects();
}

int Controller::getStartPort() const
{
    return m_portTable->startPort();
}

int Controller::getPortNum() const
{
    return m_portTable->portNum();
}

void Controller::setPortNum(int value)
{
    m_portTable->setPortNum(value);
}

QString Controller::setPortNumStr(QString start, QString value)
{
    const QString refusal = zq::ports::PortTable::rangeError(start, value);
    if (!refusal.isEmpty())
        return refusal;
    m_portTable->setStartPort(start.trimmed().toInt());
    m_portTable->setPortNum(value.trimmed().toInt());
    const QString report = zq::ports::PortTable::usageReport(m_portTable->startPort(), m_portTable->portNum());
    resetPort(QString::number(m_portTable->startPort()), value);
    createPortInfoList();
    saveConfigToFile();
    return report;
}

QString Controller::getPortRange()
{
    return m_portTable->getPortRange();
}

void Controller::checkPortStatus(int port)
{
    QHttpMultiPart* body = RequestLayer::newForm();
    RequestLayer::addFormPart(body, QStringLiteral("port"), QByteArray::number(port));
    m_requests->httpRequestByPost(m_addresses.url(zq::ep::CheckPortStatus), body, QString::number(port));
}

// --- binding and release ---

void Controller::setPortSession(QString sessionId, QString ip, int port, QString server, QString sn, int openPort,
    QString area, QString region, bool isNeedCharge, bool usable)
{
    m_bindings->setPortSession(sessionId, ip, port, server, sn, openPort, area, region, isNeedCharge, usable);
}

void Controller::setPortSessionS5U(QString sessionId, QString ip, int port, QString server, QString sn, int openPort,
    QString area, QString region, bool isNeedCharge, bool usable)
{
    m_bindings->setPortSessionS5U(sessionId, ip, port, server, sn, openPort, area, region, isNeedCharge, usable);
}

void Controller::setPortSessionResiTraffic(QString sessionId, QString ip, int port, QString server, QString sn,
    QString area, QString region, bool usable, QString planTypeKey)
{
    m_bindings->setPortSessionResiTraffic(sessionId, ip, port, server, sn, area, region, usable, planTypeKey);
}

void Controller::checkSnIsExist(QString sn, QString serverIp, QString username, QString sessionId)
{
    m_bindings->checkSnIsExist(sn, serverIp, username, sessionId);
}

void Controller::freeOneProxyPort(int port)
{
    m_bindings->freeOneProxyPort(port);
}

void Controller::freeProxyPort()
{
    m_bindings->freeProxyPort();
}

int Controller::freeResidentTrafficPort()
{
    return m_bindings->freeResidentTrafficPort();
}

void Controller::resetPort(QString startPort, QString portNum)
{
    m_bindings->resetPort(startPort, portNum);
}

// --- saved lists ---

bool Controller::saveTodayList()
{
    return m_savedLists->save(Kind::Today, Plan::S5);
}
bool Controller::saveTodayUnlimitList()
{
    return m_savedLists->save(Kind::Today, Plan::Unlimited);
}
bool Controller::saveTodayResiTrafficList()
{
    return m_savedLists->save(Kind::Today, Plan::ResiTraffic);
}
bool Controller::saveFavouriteList()
{
    return m_savedLists->save(Kind::Favourite, Plan::S5);
}
bool Controller::saveFavouriteUnlimitList()
{
    return m_savedLists->save(Kind::Favourite, Plan::Unlimited);
}
bool Controller::saveFavouriteResiTrafficList()
{
    return m_savedLists->save(Kind::Favourite, Plan::ResiTraffic);
}

bool Controller::readTodayListInfo(QString fileName)
{
    return m_savedLists->read(Kind::Today, Plan::S5, fileName);
}

bool Controller::readTodayUnlimitListInfo(QString fileName)
{
    return m_savedLists->read(Kind::Today, Plan::Unlimited, fileName);
}

bool Controller::readTodayResidentTrafficListInfo(QString fileName)
{
    return m_savedLists->read(Kind::Today, Plan::ResiTraffic, fileName);
}

bool Controller::readFavouriteListInfo(QString fileName)
{
    return m_savedLists->read(Kind::Favourite, Plan::S5, fileName);
}

bool Controller::readFavouriteUnlimitListInfo(QString fileName)
{
    return m_savedLists->read(Kind::Favourite, Plan::Unlimited, fileName);
}

bool Controller::readFavouriteResidentTrafficListInfo(QString fileName)
{
    return m_savedLists->read(Kind::Favourite, Plan::ResiTraffic, fileName);
}

bool Controller::saveJsonFile(QList<QObject*> fname, QString savefname)
{
    return m_savedLists->saveJsonFile(fname, savefname);
}

QList<QObject*> Controller::getTodayProxyServerInfo()
{
    const QList<QObject*>& list = m_savedLists->list(Kind::Today, Plan::S5);
    qDebug() << "proxyTodayServerInfoList size=" << list.size();
    return list;
}

QList<QObject*> Controller::getTodayS5UnlimitProxyServerInfo()
{
    const QList<QObject*>& list = m_savedLists->list(Kind::Today, Plan::Unlimited);
    qDebug() << "proxyTodayUnlimtSerList size=" << list.size();
    return list;
}

QList<QObject*> Controller::getTodayResiTrafficProxyServerInfo()
{
    return m_savedLists->list(Kind::Today, Plan::ResiTraffic);
}
