#include "portforward.h"

#include "constants.h"
#include "porttable.h"
#include "proxyserverinfo.h"
#include "savedlists.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QQmlEngine>
#include <QUrl>

namespace zq::ports {

using zq::catalogue::Plan;
using zq::lists::Kind;

PortForward::PortForward(
    PortTable* ports, const zq::lists::SavedLists* lists, QList<QPointer<PortInfo>>* list, QObject* parent)
    : QObject(parent)
    , m_ports(ports)
    , m_lists(lists)
    , m_list(list)
{
}

QList<QObject*> PortForward::getPortForwordList()
{
    m_list->clear();
    for (PortInfo* made : qAsConst(m_made))
        made->deleteLater();
    m_made.clear();

    const struct {
        Plan plan;
        const QString& name;
    } plans[] = { { Plan::S5, zq::kPlanS5 }, { Plan::Unlimited, zq::kPlanS5Unlimited },
        { Plan::ResiTraffic, zq::kPlanResiTraffic } };
    bool allEmpty = true;
    for (const auto& p : plans) {
        const QList<QObject*>& today = m_lists->list(Kind::Today, p.plan);
        allEmpty = allEmpty && today.isEmpty();
        for (QObject* object : today) {
            auto* line = qobject_cast<ProxyServerInfo*>(object);
            if (!line || line->getBindPort() == 0 || line->getIsExpired())
                continue;
            auto* entry = new PortInfo(line->getBindPort(), this);
            QQmlEngine::setObjectOwnership(entry, QQmlEngine::CppOwnership);
            entry->setUsable(true);
            entry->setUsed(true);
            entry->setLineInfo(line);
            entry->setPlanType(p.name);
            m_made.append(entry);
            m_list->append(entry);
        }
    }
    if (allEmpty) {
        for (PortInfo* slot : m_ports->list())
            m_list->append(slot);
    } else {
        for (PortInfo* slot : m_ports->list()) {
            for (const auto& p : plans) {
                const QList<QObject*>& today = m_lists->list(Kind::Today, p.plan);
                if (today.isEmpty())
                    continue;
                const bool bound = std::any_of(today.begin(), today.end(), [slot](QObject* object) {
                    auto* line = qobject_cast<ProxyServerInfo*>(object);
                    return line && line->getBindPort() == slot->getPort();
                });
                if (!bound)
                    m_list->append(slot);
            }
        }
    }
    // One entry per port; the first (a bound today line) wins.
    for (int i = 0; i < m_list->size(); ++i) {
        const int port = m_list->at(i)->getPort();
        for (int j = m_list->size() - 1; j > i; --j) {
            if (m_list->at(j)->getPort() == port) {
                qDebug() << "port=" << port << "is repeat!";
                m_list->removeAt(j);
            }
        }
    }
    QList<QObject*> out;
    out.reserve(m_list->size());
    for (PortInfo* entry : qAsConst(*m_list))
        out.append(entry);
    return out;
}

QString PortForward::getCopyAllInfo(const QString& localIp, int programPort) const
{
    QString text;
    // A slot the range has dropped since the build is gone from the list's view.
    for (const PortInfo* entry : qAsConst(*m_list)) {
        if (entry && entry->getUsed() && entry->getPort() != programPort)
            text += localIp + QLatin1Char(':') + QString::number(entry->getPort()) + QLatin1Char('\n');
    }
    return text;
}

QString PortForward::createApiLink(const QString& localIp, int apiPort, const QString& country, const QString& state,
    const QString& city, const QString& zip, const QString& isp, const QString& num, const QString& startPort,
    const QString& dataType, const QString& startIP, const QString& endIP, const QString& key)
{
    auto place = [](const QString& value) { return value.isEmpty() ? QStringLiteral("random") : value; };
    // Values are encoded so that "New York" or "AT&T" stay one query value.
    auto enc = [](const QString& value) { return QString::fromLatin1(QUrl::toPercentEncoding(value)); };
    return QStringLiteral("http://") + localIp + QLatin1Char(':') + QString::number(apiPort)
        + QStringLiteral("/ip/numerous_bind") + QStringLiteral("?num=") + enc(num) + QStringLiteral("&country=")
        + enc(place(country)) + QStringLiteral("&state=") + enc(place(state)) + QStringLiteral("&city=")
        + enc(place(city)) + QStringLiteral("&isp=") + enc(place(isp)) + QStringLiteral("&zip=") + enc(place(zip))
        + QStringLiteral("&t=") + enc(dataType) + QStringLiteral("&port=") + enc(startPort)
        + QStringLiteral("&startip=") + enc(startIP) + QStringLiteral("&endip=") + enc(endIP) + QStringLiteral("&key=")
        + enc(key);
}

QString PortForward::apiLinkKey(const QString& sessionId, const QString& unionId)
{
    const QByteArray text = (sessionId + QLatin1Char('|') + unionId).toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex());
}

} // namespace zq::ports
