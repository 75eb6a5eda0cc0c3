#include "controller.h"

#include "account.h"
#include "configfile.h"
#include "constants.h"
#include "helperprocess.h"
#include "machineidentity.h"
#include "platform.h"
#include "portsearch.h"
#include "porttable.h"
#include "requestlayer.h"
#include "savedlists.h"
#include "userinfo.h"
// --- catalogue ---
#include "areacatalogue.h"
#include "linecatalogue.h"
#include "requestposter.h"
#include <QDateTime>

#include <QCoreApplication>
#include <QDebug>
#include <QNetworkDatagram>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

Controller* Controller::instance()
{
    static Controller* controller = new Controller;
    return controller;
}

Controller::Controller(const QString& documentsDir, const QString& appDir, QObject* parent)
    : QObject(parent)
    , m_appDir(appDir.isEmpty() ? QCoreApplication::applicationDirPath() : appDir)
    , apiPort(zq::kDefaultApiPort)
{
    // The download manager and the request pool.
    m_requests = new RequestLayer(QString(), &m_codec, this);
    initTimer();

    localIp = zq::platform::localIp();
    m_macAddress = zq::platform::macAddress();
    qDebug() << "macAddress:" << m_macAddress;
    m_unionId = zq::platform::unionId(zq::platform::hardwareUuid(), m_macAddress);
    qDebug() << "uuid:" << m_unionId;
    m_requests->setUnionId(m_unionId);
    initAccount();

    m_paths = AppPaths::compute(documentsDir);
    m_paths.prepare(m_appDir);
    initCatalogue(); // --- catalogue ---

    m_notificationSocket = new QUdpSocket(this);
    m_notificationPort = zq::ports::firstFreeUdpPort(100, 1000);
    // The helper sends from this machine only; nothing from the LAN may trigger service requests.
    m_notificationSocket->bind(QHostAddress::LocalHost, quint16(m_notificationPort), QAbstractSocket::ShareAddress);
    initPorts();
    initProgramProxy();
    initModels();
}

Controller::~Controller() = default;

void Controller::initTimer()
{
    if (timer4AreaList)
        return; // made once, by the constructor
    timer4LocalEvent = new QTimer(this);
    timer4AreaList = new QTimer(this);
    timer4TodayList = new QTimer(this);
    timer4AreaList->start(zq::kAreaListIntervalMs);
}

bool Controller::init()
{
    qDebug() << "init---->";
    apiPort = zq::ports::firstFreeTcpPort(200, 1000);
    programPort = zq::ports::firstFreeTcpPort(300, 1000);
    qDebug() << "proxy apiPort" << apiPort << "ProgramePort" << programPort;
    m_portTable->setReservedPorts(apiPort, programPort);
    // The saved lists come before the port table, which then shows their bound lines.
    if (readConfigFromFile() && !UserInfo::instance()->getUserName().isEmpty())
        m_savedLists->reloadForAccount(UserInfo::instance()->getUserName());
    createPortInfoList();
    return readASNInfo(); // --- catalogue ---
}

void Controller::killProcess(const QString& name)
{
    zq::platform::killProcessTree(name);
}

void Controller::killStaleHelpers()
{
    zq::platform::killStaleHelpers(m_helper->program());
}

QString Controller::getVersion() const
{
    return QString::fromLatin1(zq::kVersion);
}

QString Controller::getShowVersion() const
{
    return QString::fromLatin1(zq::kShowVersion);
}

void Controller::qmlSleep(int sec)
{
    QThread::msleep(static_cast<unsigned long>(qMax(0, sec)) * 1000);
}

QStringList Controller::getLangList() const
{
    const QStringList list { QStringLiteral("English"), QStringLiteral("繁體中文") };
    qDebug() << list;
    return list;
}

bool Controller::readConfigFromFile()
{
    Settings settings;
    settings.autoLogin = autoLogin;
    settings.portNum = m_portTable->portNum();
    settings.startPort = m_portTable->startPort();
    UserInfo* user = UserInfo::instance();
    settings.username = user->getUserName();
    settings.password = user->getPassword();
    settings.email = user->getEmail();
    settings.uid = user->getUid();
    if (!ConfigFile::read(m_paths.configFile(), settings))
        return false;
    user->setUserName(settings.username);
    user->setPassword(settings.password);
    user->setEmail(settings.email);
    user->setUid(settings.uid);
    m_portTable->setPortNum(settings.portNum);
    m_portTable->setStartPort(settings.startPort);
    autoLogin = settings.autoLogin;
    return true;
}

void Controller::saveConfigToFile()
{
    const UserInfo* user = UserInfo::instance();
    Settings settings;
    settings.autoLogin = autoLogin;
    settings.email = user->getEmail();
    settings.password = user->getPassword();
    settings.portNum = m_portTable->portNum();
    settings.startPort = m_portTable->startPort();
    settings.uid = user->getUid();
    settings.username = user->getUserName();
    const QString error = ConfigFile::save(m_paths.configFile(), settings);
    if (!error.isEmpty())
        emit proxyClientMessage(QStringLiteral("save config fail") + error);
}

// --- account ---

void Controller::initAccount()
{
    connect(m_requests, &RequestLayer::interfaceTimeout, this, &Controller::interfaceTimeout);

    m_account = new Account(m_requests, &m_codec, &m_addresses, &m_paths, this);
    AccountHooks hooks;
    hooks.isLogin = [this]() { return isLogin; };
    hooks.setIsLogin = [this](bool value) { isLogin = value; };
    hooks.saveConfig = [this]() { saveConfigToFile(); };
    hooks.readProgramList = [this](const QString& username) { readProgramListForAccount(username); };
    hooks.accountChanged = [this](const QString& username) { reloadListsForAccount(username); };
    m_account->setHooks(std::move(hooks));

    connect(m_account, &Account::loginStatus, this, &Controller::loginStatus);
    connect(m_account, &Account::loginOutStatus, this, &Controller::loginOutStatus);
    connect(m_account, &Account::checkIpStatus, this, &Controller::checkIpStatus);
    connect(m_account, &Account::checkProxyStatus, this, &Controller::checkProxyStatus);
    connect(m_account, &Account::getUserIpNumsStatus, this, &Controller::getUserIpNumsStatus);
    connect(m_account, &Account::getUserExpTimeStatus, this, &Controller::getUserExpTimeStatus);
    connect(m_account, &Account::getUserResiTrafficInfoStatus, this, &Controller::getUserResiTrafficInfoStatus);
    connect(m_account, &Account::updateStatus, this, &Controller::updateStatus);
    connect(m_account, &Account::sendDownloadUpdatePraProgress, this, &Controller::sendDownloadUpdatePraProgress);
    connect(m_account, &Account::sendDownloadFileSuccess, this, &Controller::sendDownloadFileSuccess);
    connect(m_account, &Account::sendDownloadFileFailed, this, &Controller::sendDownloadFileFailed);
    connect(m_account, &Account::priceInfo, this, &Controller::priceInfo);
}

void Controller::login(const QString& username, const QString& passwd)
{
    m_account->login(username, passwd);
}

void Controller::loginOut()
{
    m_account->loginOut();
}

void Controller::getConfig()
{
    m_account->getConfig();
}

void Controller::checkIp()
{
    m_account->checkIp();
}

void Controller::checkPorxy()
{
    m_account->checkPorxy();
}

void Controller::getUserIpNumber()
{
    m_account->getUserIpNumber();
}

void Controller::getUserExpTime()
{
    m_account->getUserExpTime();
}

void Controller::getUserResiTraffic()
{
    m_account->getUserResiTraffic();
}

void Controller::checkUpdate()
{
    m_account->checkUpdate();
}

void Controller::downloadUpdateFile(const QString& interfaceStr)
{
    m_account->downloadUpdateFile(interfaceStr);
}

QString Controller::getUpdateFileName() const
{
    return Account::getUpdateFileName();
}

void Controller::getPriceInfo()
{
    m_account->getPriceInfo();
}

// --- catalogue ---

void Controller::initCatalogue()
{
    using namespace zq::catalogue;
    m_areas = new AreaCatalogue(&m_codec, m_paths.configDir, this);
    m_areas->setAddresses(&m_addresses);
    m_areas->setPoster(requestPoster(m_requests));
    connect(m_areas, &AreaCatalogue::getAreaListStatus, this, &Controller::getAreaListStatus);
    connect(m_areas, &AreaCatalogue::proxyClientMessage, this, &Controller::proxyClientMessage);
    m_requests->setHandler(
        Route::AreaList, [this](const QJsonObject& reply, const QString&) { m_areas->dealAreaList(reply, true); });

    m_lines = new LineCatalogue(&m_codec, m_unionId, m_areas, this);
    m_lines->setAddresses(&m_addresses);
    m_lines->setPoster(requestPoster(m_requests));
    connect(m_lines, &LineCatalogue::getLineListStatus, this, &Controller::getLineListStatus);
    connect(m_lines, &LineCatalogue::getUnlimitLineListStatus, this, &Controller::getUnlimitLineListStatus);
    connect(m_lines, &LineCatalogue::getResiTrafficListStatus, this, &Controller::getResiTrafficListStatus);
    m_requests->setHandler(
        Route::LineList, [this](const QJsonObject& reply, const QString&) { m_lines->dealProxyServerInfo(reply); });
    m_requests->setHandler(Route::ResiLineList,
        [this](const QJsonObject& reply, const QString&) { m_lines->dealProxyServerResidentTrafficInfo(reply); });
    m_requests->setHandler(Route::UnlimitLineList,
        [this](const QJsonObject& reply, const QString&) { m_lines->dealProxyServerUnlimitInfo(reply); });

    connect(timer4AreaList, &QTimer::timeout, this, [this]() {
        qDebug() << QDateTime::currentSecsSinceEpoch() << "timer4AreaList";
        m_areas->getAreaList();
    });
}

void Controller::getAreaList()
{
    m_areas->getAreaList();
}

bool Controller::readAreaList()
{
    return m_areas->readAreaList();
}

bool Controller::readASNInfo()
{
    return m_areas->readASNInfo(m_appDir + QStringLiteral("/asn.txt"));
}

QStringList Controller::searchAsn(QString asn)
{
    return m_areas->searchAsn(asn);
}

QStringList Controller::getCountryNameList()
{
    return m_areas->getCountryNameList();
}

QStringList Controller::searchCountryNameList(QString cName)
{
    return m_areas->searchCountryNameList(cName);
}

QStringList Controller::getStateNameList(QString cName)
{
    return m_areas->getStateNameList(cName);
}

QStringList Controller::searchStateNameList(QString cName, QString sName)
{
    return m_areas->searchStateNameList(cName, sName);
}

QStringList Controller::getCityNameList(QString cName, QString sName)
{
    return m_areas->getCityNameList(cName, sName);
}

QStringList Controller::searchCityNameList(QString coName, QString sName, QString cName)
{
    return m_areas->searchCityNameList(coName, sName, cName);
}

void Controller::getLineList(QString countryName, QString stateName, QString cityName, QString zipNum, int num)
{
    m_lines->getLineList({ countryName, stateName, cityName, zipNum, {}, {}, {}, num });
}

void Controller::getLineListV2(QString countryName, QString stateName, QString cityName, QString zipNum, QString isp,
    QString startIp, QString endIp, int num)
{
    m_lines->getLineListV2({ countryName, stateName, cityName, zipNum, isp, startIp, endIp, num });
}

void Controller::getResiTrafficLineList(QString countryName, QString stateName, QString cityName, QString zipNum,
    QString isp, QString startIp, QString endIp, int num, QString type)
{
    m_lines->getResiTrafficLineList({ countryName, stateName, cityName, zipNum, isp, startIp, endIp, num, type });
}

void Controller::getUnlimitLineList(int num)
{
    m_lines->getUnlimitLineList(num);
}

QList<QObject*> Controller::getProxyServerInfo()
{
    return m_lines->lines(zq::catalogue::Plan::S5);
}

QList<QObject*> Controller::getProxyServerUnlimitInfo()
{
    return m_lines->lines(zq::catalogue::Plan::Unlimited);
}

QList<QObject*> Controller::getProxyServerResiTrafficInfo()
{
    return m_lines->lines(zq::catalogue::Plan::ResiTraffic);
}

void Controller::LineListSort(QString listName, QString orderBy)
{
    m_lines->LineListSort(listName, orderBy);
}
