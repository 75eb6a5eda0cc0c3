#pragma once
// Readers for the text files of Linux's /proc, kept apart from the file access so that the
// parsing can be checked on recorded text.

#include <QByteArray>
#include <QList>
#include <QString>

namespace zq::platform::procfs {

// One row of /proc/net/{tcp,tcp6,udp,udp6}.
struct SocketRow {
    quint16 localPort = 0;
    quint64 inode = 0; // 0: the socket belongs to no process (TIME_WAIT and other orphans)
};

// Rows of a socket table; the header and malformed lines are skipped.
QList<SocketRow> parseSocketTable(const QByteArray& text);

// Inode of a /proc/<pid>/fd link text "socket:[12345]"; 0 for anything else.
quint64 socketInode(const QByteArray& linkTarget);

// Whether capability bit `cap` is set in the "CapEff:" line of a /proc/<pid>/status text.
bool hasEffectiveCapability(const QByteArray& statusText, int cap);

// Lowest port a process may bind, from its status text and the text of
// /proc/sys/net/ipv4/ip_unprivileged_port_start (empty when missing: older kernels use 1024).
int lowestBindablePort(const QByteArray& statusText, const QByteArray& unprivilegedPortStart);

// Parent id from a /proc/<pid>/stat text; -1 when malformed. The command name may hold
// blanks and parentheses, so the fields are counted from the last ')'.
qint64 parentPid(const QByteArray& statText);

// State letter from a /proc/<pid>/stat text ('Z' zombie, 'X' dead); 0 when malformed.
char processState(const QByteArray& statText);

// File name of an executable from its /proc/<pid>/exe link text; a " (deleted)" mark (the file
// was replaced while the program ran) is dropped.
QString exeBaseName(const QByteArray& linkTarget);

// File name of argv[0] from a /proc/<pid>/cmdline text; empty when there is none.
QString argv0BaseName(const QByteArray& cmdline);

} // namespace zq::platform::procfs
