#include "porttable.h"

#include "constants.h"
#include "platform.h"
#include "proxyserverinfo.h"

#include <QDebug>
#include <QQmlEngine>
#include <algorithm>

namespace zq::ports {

namespace {

// Ports of [start, start + count) that another program holds; the helper's own do not count.
QList<int> heldInRange(int start, int count, qint64 knownHelperPid = 0)
{
    const QString helper = zq::helperFileName();
    // Our own helper when we know it: another client's helper of the same name must not make
    // ours look like a stranger holding our ports.
    const qint64 helperPid = knownHelperPid > 0 ? knownHelperPid : zq::platform::processIdByName(helper);
    qDebug() << "PID local proxy:" << helperPid << "exeName=" << helper;
    const QList<quint16> inUse = zq::platform::tcpPortsInUse(helperPid);
    QList<int> held;
    const int last = std::min(start + count - 1, zq::kHighestPort);
    for (int p = start; p <= last; ++p) {
        if (std::binary_search(inUse.begin(), inUse.end(), quint16(p)))
            held.append(p);
    }
    return held;
}

// A decimal text, 0 when it is not a number.
int numberOf(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 0;
}

} // namespace

PortTable::PortTable(QObject* parent)
    : QObject(parent)
    , m_startPort(zq::kDefaultStartPort)
    , m_portNum(zq::kDefaultPortNum)
{
}

void PortTable::setReservedPorts(int apiPort, int programPort)
{
    m_apiPort = apiPort;
    m_programPort = programPort;
}

QList<QObject*> PortTable::objects() const
{
    QList<QObject*> out;
    out.reserve(m_slots.size());
    for (PortInfo* slot : m_slots)
        out.append(slot);
    qDebug() << "portInfoList size:" << out.size();
    return out;
}

PortInfo* PortTable::newSlot(int port, bool reservedTest)
{
    auto* slot = new PortInfo(port, this);
    QQmlEngine::setObjectOwnership(slot, QQmlEngine::CppOwnership);
    if (reservedTest && (port == m_apiPort || port == m_programPort))
        slot->setUsable(false);
    return slot;
}

void PortTable::attachToday(
    PortInfo* slot, const QList<QObject*>& todayS5, const QList<QObject*>& todayUnlimited, int index)
{
    // The unlimited list is searched last, so its match wins.
    for (const QList<QObject*>* list : { &todayS5, &todayUnlimited }) {
        for (QObject* object : *list) {
            auto* line = qobject_cast<ProxyServerInfo*>(object);
            if (!line || line->getBindPort() != slot->getPort())
                continue;
            slot->setUsed(true);
            slot->setLineInfo(line);
            slot->setOperateTime(uint(line->getBindTime()));
            slot->setPlanType(list == &todayS5 ? zq::kPlanS5 : zq::kPlanS5Unlimited);
            qDebug() << "index" << index << "port" << slot->getPort() << "used" << slot->getUsed() << "ip"
                     << line->getIp() << "bindTime" << line->getBindTime() << "bindPort" << line->getBindPort()
                     << "isExpired" << line->getIsExpired();
            break;
        }
    }
}

void PortTable::createPortInfoList(const QList<QObject*>& todayS5, const QList<QObject*>& todayUnlimited)
{
    qDebug() << "proxty used 2 port:" << m_apiPort << m_programPort;
    qDebug() << "portInfoList.size()" << m_slots.size();
    if (!m_slots.isEmpty() && m_slots.first()->getPort() == m_startPort) {
        // Only the count changed: the slots that stay keep their bindings.
        while (m_slots.size() < m_portNum)
            m_slots.append(newSlot(m_startPort + m_slots.size(), false));
        while (m_slots.size() > std::max(m_portNum, 0))
            m_slots.takeLast()->deleteLater();
    } else {
        for (PortInfo* slot : qAsConst(m_slots))
            slot->deleteLater();
        m_slots.clear();
        // Also on the first build: lines read from the saved lists find their ports again.
        for (int i = 0; i < m_portNum && m_startPort + i <= zq::kHighestPort; ++i) {
            PortInfo* slot = newSlot(m_startPort + i, true);
            attachToday(slot, todayS5, todayUnlimited, i);
            m_slots.append(slot);
        }
    }
    refreshPortUsability();
    qDebug() << "this->portInfoList size = " << m_slots.size();
}

void PortTable::refreshPortUsability()
{
    const qint64 ownPid = zq::platform::processIdByName(zq::programFileName());
    const QList<int> held = heldInRange(m_startPort, m_portNum, m_helperPid ? m_helperPid() : 0);
    qDebug() << "PID local exe:" << ownPid << "exeName=" << zq::programFileName();
    for (PortInfo* slot : qAsConst(m_slots)) {
        slot->setUsable(!held.contains(slot->getPort()));
        if (slot->getPort() == m_apiPort || slot->getPort() == m_programPort)
            slot->setUsable(false);
    }
    qDebug() << "OtherProcPort num=" << held.size() << "range:" << held;
}

QString PortTable::rangeError(const QString& start, const QString& value)
{
    const int first = numberOf(start);
    const qint64 last = qint64(first) + numberOf(value) - 1;
    if (last > zq::kHighestPort)
        return QStringLiteral("port end:%1 too big,please input Begin Port+Port Number<%2\n")
            .arg(last)
            .arg(zq::kHighestPort);
    if (first < zq::kLowestStartPort)
        return QStringLiteral("port begin:%1 too small,please input >%2\n").arg(start).arg(zq::kLowestStartPort);
    return QString();
}

QString PortTable::usageReport(int start, int count)
{
    const QList<int> held = heldInRange(start, count);
    QString report;
    int usable = 0;
    const int last = std::min(start + count - 1, zq::kHighestPort);
    for (int p = start; p <= last; ++p) {
        if (held.contains(p)) {
            report += QStringLiteral("Port %1 can not be used \n").arg(p);
        } else {
            report += QStringLiteral("Port %1 can be used \n").arg(p);
            ++usable;
        }
    }
    report += QStringLiteral("\n");
    report += QStringLiteral("%1 port can be used \n").arg(usable);
    report += QStringLiteral("%1 port occupied").arg(held.size());
    return report;
}

QString PortTable::getPortRange()
{
    const int last = m_startPort + m_portNum - 1;
    if (last <= zq::kHighestPort && m_startPort >= zq::kLowestStartPort)
        m_rangeText = QStringLiteral("%1-%2").arg(m_startPort).arg(last);
    return m_rangeText;
}

bool PortTable::inRange(int port) const
{
    return port >= m_startPort && port < m_startPort + m_portNum;
}

PortInfo* PortTable::slotFor(int port) const
{
    for (PortInfo* slot : m_slots) {
        if (slot->getPort() == port)
            return slot;
    }
    return nullptr;
}

PortInfo* PortTable::firstFreeSlot() const
{
    for (PortInfo* slot : m_slots) {
        qDebug() << "port" << slot->getPort() << "used" << slot->getUsed() << "usable" << slot->getUsable()
                 << "planType" << slot->getPlanType();
        if (!slot->getUsed() && slot->getUsable() && slot->getPort() != m_programPort)
            return slot;
    }
    return nullptr;
}

bool PortTable::holds(const QObject* line) const
{
    return line
        && std::any_of(m_slots.begin(), m_slots.end(), [line](PortInfo* slot) { return slot->getLineInfo() == line; });
}

} // namespace zq::ports
