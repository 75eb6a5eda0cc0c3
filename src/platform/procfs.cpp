#include "procfs.h"

#include <QFile>

namespace zq::platform::procfs {

namespace {
constexpr int kNetBindServiceCap = 10; // CAP_NET_BIND_SERVICE

QString baseName(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    return QFile::decodeName(slash < 0 ? path : path.mid(slash + 1));
}
} // namespace

QList<SocketRow> parseSocketTable(const QByteArray& text)
{
    // "  sl  local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ..."
    QList<SocketRow> rows;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || !fields[0].endsWith(':'))
            continue; // header, blank or cut line
        const QByteArray& local = fields[1];
        const int colon = local.lastIndexOf(':');
        bool portOk = false;
        bool inodeOk = false;
        const uint port = local.mid(colon + 1).toUInt(&portOk, 16);
        const quint64 inode = fields[9].toULongLong(&inodeOk, 10);
        if (colon < 0 || !portOk || !inodeOk || port > 0xFFFF)
            continue;
        rows.append({ static_cast<quint16>(port), inode });
    }
    return rows;
}

quint64 socketInode(const QByteArray& linkTarget)
{
    static const QByteArray prefix = QByteArrayLiteral("socket:[");
    if (!linkTarget.startsWith(prefix) || !linkTarget.endsWith(']'))
        return 0;
    bool ok = false;
    const quint64 inode = linkTarget.mid(prefix.size(), linkTarget.size() - prefix.size() - 1).toULongLong(&ok);
    return ok ? inode : 0;
}

bool hasEffectiveCapability(const QByteArray& statusText, int cap)
{
    for (const QByteArray& line : statusText.split('\n')) {
        if (!line.startsWith("CapEff:"))
            continue;
        bool ok = false;
        const quint64 mask = line.mid(7).trimmed().toULongLong(&ok, 16);
        return ok && cap >= 0 && cap < 64 && (mask >> cap) & 1u;
    }
    return false;
}

int lowestBindablePort(const QByteArray& statusText, const QByteArray& unprivilegedPortStart)
{
    if (hasEffectiveCapability(statusText, kNetBindServiceCap))
        return 1;
    bool ok = false;
    const int start = unprivilegedPortStart.trimmed().toInt(&ok);
    if (!ok)
        return 1024;
    return qBound(1, start, 65536);
}

namespace {
// Fields after the command name: " S ppid ..."; empty when malformed.
QList<QByteArray> fieldsAfterName(const QByteArray& statText)
{
    const int close = statText.lastIndexOf(')');
    if (close < 0)
        return {};
    return statText.mid(close + 1).simplified().split(' ');
}
} // namespace

qint64 parentPid(const QByteArray& statText)
{
    const QList<QByteArray> fields = fieldsAfterName(statText);
    if (fields.size() < 2)
        return -1;
    bool ok = false;
    const qint64 ppid = fields[1].toLongLong(&ok);
    return ok ? ppid : -1;
}

char processState(const QByteArray& statText)
{
    const QList<QByteArray> fields = fieldsAfterName(statText);
    return fields.isEmpty() || fields[0].size() != 1 ? 0 : fields[0][0];
}

QString exeBaseName(const QByteArray& linkTarget)
{
    static const QByteArray deleted = QByteArrayLiteral(" (deleted)");
    return baseName(linkTarget.endsWith(deleted) ? linkTarget.chopped(deleted.size()) : linkTarget);
}

QString argv0BaseName(const QByteArray& cmdline)
{
    const int end = cmdline.indexOf('\0');
    return baseName(end < 0 ? cmdline : cmdline.left(end));
}

} // namespace zq::platform::procfs
