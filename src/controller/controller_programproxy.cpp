// Controller: the per-program proxy (program list, driver channel) and browser cache clearing.
// Each invokable hands its work to the component that owns it.
#include "controller.h"

#include "browsercache.h"
#include "driverchannel.h"
#include "helperprocess.h"
#include "portbindings.h"
#include "porttable.h"
#include "programlist.h"
#include "proxyserverinfo.h"
#include "savedlists.h"
#include "userinfo.h"

#include <QDebug>
#include <QDir>

using zq::programproxy::DriverChannel;
using zq::programproxy::ProgramList;

namespace {

QString programListFile(const QString& username)
{
    return username + QStringLiteral("_progameList.json");
}

} // namespace

void Controller::initProgramProxy()
{
    m_driver = new DriverChannel(m_paths.driverDir, this);
    connect(m_driver, &DriverChannel::programProxyStatus, this, &Controller::programProxyStatus);

    m_programs = new ProgramList(&m_codec, m_paths.configDir, this);
    m_programs->setAnnouncer([this](const QString& text) { return m_driver->send(text); });
    m_programs->setFileName([]() { return programListFile(UserInfo::instance()->getUserName()); });
    connect(m_programs, &ProgramList::proxyClientMessage, this, &Controller::proxyClientMessage);
}

void Controller::readProgramListForAccount(const QString& username)
{
    readProgramList(programListFile(username));
}

void Controller::addPrograme(QString name)
{
    m_programs->addPrograme(name);
}

void Controller::delPrograme(QString name)
{
    m_programs->delPrograme(name);
}

QList<QObject*> Controller::getProcessInfoList()
{
    return m_programs->getProcessInfoList();
}

bool Controller::readProgramList(const QString& fileName)
{
    return m_programs->read(fileName);
}

bool Controller::saveProgramList(const QString& fileName)
{
    return m_programs->write(fileName);
}

void Controller::startProgramProxyThread()
{
    m_driver->startProgramProxyThread(programPort, m_programs->entryNames());
}

void Controller::stopProgramProxy()
{
    m_driver->stop();
    if (m_helper->isStarted()) {
        m_bindings->freeOneProxyPort(programPort);
        return;
    }
    // No helper to ask: the program port's slot is freed here.
    if (PortInfo* slot = m_portTable->slotFor(programPort)) {
        QObject* record = slot->getLineInfo();
        slot->setUsed(false);
        slot->setPlanType(QString());
        slot->setLineInfo(nullptr);
        if (auto* line = qobject_cast<ProxyServerInfo*>(record)) {
            qDebug() << "将bindPort置为0";
            line->setBindPort(0);
        }
    }
    saveTodayList();
}

bool Controller::checkDriverStatus()
{
    return m_driver->checkDriverStatus();
}

bool Controller::getIsDriverRun() const
{
    return m_driver->isDriverRun();
}

bool Controller::clearBrowserCache(bool chrome, bool firefox, bool ie, bool edge)
{
    return zq::platform::clearBrowserCache(QDir::homePath(), m_programs->programNames(), chrome, firefox, ie, edge);
}
