#include "shelltext.h"

#include "systables.h"

#include <QDebug>
#include <QStringList>

namespace zq::platform::shelltext {

QString uuidFromWmicOutput(const QString& output)
{
    QString text = output;
    text.remove(QStringLiteral("UUID"));
    const QStringList parts = text.split(QLatin1Char('\n'));
    if (parts.size() < 2)
        return text;
    qDebug() << "cupid:" << parts.at(1);
    return parts.at(1);
}

QString machineUuidText(const QString& wmicUuid, const QString& firmwareUuid)
{
    if (!wmicUuid.trimmed().isEmpty())
        return wmicUuid;
    if (firmwareUuid.isEmpty())
        return {};
    return QString::fromStdString(systables::wmicUuidLine(firmwareUuid.toStdString()));
}

QString taskkillCommand(const QString& exeName, qint64 selfPid)
{
    if (exeName.trimmed().isEmpty())
        return {};
    bool plain = true;
    for (const QChar c : exeName) {
        // Characters no file name holds, and '%', which cmd expands even inside quotes.
        if (c.unicode() < 0x20 || QStringLiteral("<>:\"/\\|?*%").contains(c))
            return {};
        plain = plain
            && (c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-'));
    }
    // In quotes cmd takes blanks, '&', '^' and the like as part of the name.
    const QString name = plain ? exeName : QLatin1Char('"') + exeName + QLatin1Char('"');
    return QStringLiteral("taskkill /f /t /im %1 /fi \"PID ne %2\"").arg(name).arg(selfPid);
}

QString taskkillPidsCommand(const QList<qint64>& pids)
{
    if (pids.isEmpty())
        return {};
    QString command = QStringLiteral("taskkill /f /t");
    for (qint64 pid : pids)
        command += QStringLiteral(" /pid %1").arg(pid);
    return command;
}

bool taskkillSucceeded(int exitCode)
{
    return exitCode == 0 || exitCode == 128;
}

} // namespace zq::platform::shelltext
