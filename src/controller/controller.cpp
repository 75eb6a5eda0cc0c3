#include "controller.h"

#include "configfile.h"
#include "constants.h"
#include "machineidentity.h"
#include "platform.h"
#include "portsearch.h"
#include "userinfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QNetworkDatagram>
#include <QProcess>
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
    , proxyServerAddress(QStringLiteral(ZQ_PROXY_SERVER_ADDRESS))
    , apiPort(zq::kDefaultApiPort)
    , startPort(zq::kDefaultStartPort)
    , portNum(zq::kDefaultPortNum)
{
    m_helperProcess = new QProcess(this);
    initTimer();

    localIp = zq::platform::localIp();
    m_macAddress = zq::platform::macAddress();
    qDebug() << "macAddress:" << m_macAddress;
    m_unionId = zq::platform::unionId(zq::platform::hardwareUuid(), m_macAddress);
    qDebug() << "uuid:" << m_unionId;

    m_paths = AppPaths::compute(documentsDir);
    m_paths.prepare(m_appDir);

    m_notificationSocket = new QUdpSocket(this);
    m_notificationPort = zq::ports::firstFreeUdpPort(100, 1000);
    m_notificationSocket->bind(QHostAddress::Any, quint16(m_notificationPort), QAbstractSocket::ShareAddress);
    connect(m_notificationSocket, &QUdpSocket::readyRead, this, &Controller::recvUdpSocketFromLocalProxy);
}

Controller::~Controller() = default;

void Controller::initTimer()
{
    timer4LocalEvent = new QTimer(this);
    timer4AreaList = new QTimer(this);
    timer4ServicStatue = new QTimer(this);
    timer4TodayList = new QTimer(this);
    timer4AreaList->start(zq::kAreaListIntervalMs);
}

bool Controller::init()
{
    qDebug() << "init---->";
    apiPort = zq::ports::firstFreeTcpPort(200, 1000);
    programPort = zq::ports::firstFreeTcpPort(300, 1000);
    qDebug() << "proxy apiPort" << apiPort << "ProgramePort" << programPort;
    readConfigFromFile();
    return true;
}

void Controller::killProcess(const QString& name)
{
    zq::platform::killProcessTree(name);
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
    settings.portNum = portNum;
    settings.startPort = startPort;
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
    portNum = settings.portNum;
    startPort = settings.startPort;
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
    settings.portNum = portNum;
    settings.startPort = startPort;
    settings.uid = user->getUid();
    settings.username = user->getUserName();
    const QString error = ConfigFile::save(m_paths.configFile(), settings);
    if (!error.isEmpty())
        emit proxyClientMessage(QStringLiteral("save config fail") + error);
}

void Controller::stopProxy()
{
    timer4LocalEvent->stop();
    timer4AreaList->stop();
    timer4ServicStatue->stop();
    timer4TodayList->stop();
    if (m_helperProcess->state() != QProcess::NotRunning) {
        m_helperProcess->kill();
        m_helperProcess->waitForFinished(3000);
    }
    isStart = false;
}

void Controller::recvUdpSocketFromLocalProxy()
{
    while (m_notificationSocket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_notificationSocket->receiveDatagram();
        qDebug() << "recvUdpSocketFromLocalProxy" << datagram.data();
    }
}
