// Linux side of the platform layer: /proc and /sys, POSIX calls, and Qt for the screen.

#include "machineidentity.h"
#include "platform.h"
#include "procfs.h"
#include "x11.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace zq::platform {

namespace {

QByteArray readSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll(); // /proc files report size 0; readAll reads to the end anyway
}

// Link text of path; empty with errno set when it cannot be read.
QByteArray readLink(const QByteArray& path)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(path.constData(), buffer, sizeof buffer);
    if (n <= 0)
        return {};
    return QByteArray(buffer, static_cast<int>(n));
}

QList<qint64> allPids()
{
    QList<qint64> pids;
    DIR* dir = ::opendir("/proc");
    if (!dir)
        return pids;
    while (const dirent* entry = ::readdir(dir)) {
        bool ok = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&ok);
        if (ok && pid > 0)
            pids.append(pid);
    }
    ::closedir(dir);
    std::sort(pids.begin(), pids.end());
    return pids;
}

QByteArray procPath(qint64 pid, const char* leaf)
{
    return "/proc/" + QByteArray::number(pid) + '/' + leaf;
}

// Inodes of the sockets a process has open; empty when its descriptors cannot be read.
QSet<quint64> socketInodesOf(qint64 pid)
{
    QSet<quint64> inodes;
    const QByteArray fdDir = procPath(pid, "fd");
    DIR* dir = ::opendir(fdDir.constData());
    if (!dir)
        return inodes;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (const quint64 inode = procfs::socketInode(readLink(fdDir + '/' + entry->d_name)))
            inodes.insert(inode);
    }
    ::closedir(dir);
    return inodes;
}

QList<procfs::SocketRow> socketRows(const char* v4Table, const char* v6Table)
{
    // A system without IPv6 has no v6 table; that is not a failure.
    return procfs::parseSocketTable(readSmallFile(QString::fromLatin1(v4Table)))
        + procfs::parseSocketTable(readSmallFile(QString::fromLatin1(v6Table)));
}

// Executable file name of a process; empty for kernel threads, zombies and vanished processes.
QString processName(qint64 pid)
{
    errno = 0;
    const QByteArray exe = readLink(procPath(pid, "exe"));
    if (!exe.isEmpty())
        return procfs::exeBaseName(exe);
    if (errno != EACCES)
        return {};
    // Another user's process: its command line still tells the program it started.
    const QString argv0 = procfs::argv0BaseName(readSmallFile(QString::fromLatin1(procPath(pid, "cmdline"))));
    if (!argv0.isEmpty())
        return argv0;
    return QString::fromUtf8(readSmallFile(QString::fromLatin1(procPath(pid, "comm"))).trimmed());
}

bool nameMatches(qint64 pid, const QString& exeName)
{
    const QString name = processName(pid);
    // comm is cut to 15 bytes, so a longer name can only be matched through exe or cmdline.
    return !name.isEmpty() && name == exeName;
}

QHash<qint64, qint64> parentMap()
{
    QHash<qint64, qint64> parents;
    for (qint64 pid : allPids()) {
        const qint64 ppid = procfs::parentPid(readSmallFile(QString::fromLatin1(procPath(pid, "stat"))));
        if (ppid >= 0)
            parents.insert(pid, ppid);
    }
    return parents;
}

bool hasEnded(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    const char state = procfs::processState(readSmallFile(QString::fromLatin1(procPath(pid, "stat"))));
    return state == 0 || state == 'Z' || state == 'X';
}

} // namespace

QList<quint16> tcpPortsInUse(qint64 excludedPid)
{
    // Only the excluded process's sockets need an owner lookup: every other row with an inode
    // belongs to some process other than pid 0 and the excluded one, whoever that is.
    const QSet<quint64> excluded = excludedPid > 0 ? socketInodesOf(excludedPid) : QSet<quint64>();
    QList<quint16> ports;
    for (const procfs::SocketRow& row : socketRows("/proc/net/tcp", "/proc/net/tcp6")) {
        if (row.inode == 0 || excluded.contains(row.inode))
            continue;
        ports.append(row.localPort);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

QList<quint16> udpPortsInUse()
{
    QList<quint16> ports;
    for (const procfs::SocketRow& row : socketRows("/proc/net/udp", "/proc/net/udp6")) {
        if (row.localPort != 0)
            ports.append(row.localPort);
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

int lowestBindablePort()
{
    return procfs::lowestBindablePort(readSmallFile(QStringLiteral("/proc/self/status")),
        readSmallFile(QStringLiteral("/proc/sys/net/ipv4/ip_unprivileged_port_start")));
}

QList<qint64> processIdsByName(const QString& exeName)
{
    QList<qint64> found;
    if (exeName.isEmpty())
        return found;
    for (qint64 pid : allPids()) {
        if (nameMatches(pid, exeName))
            found.append(pid);
    }
    return found;
}

qint64 processIdByName(const QString& exeName)
{
    if (exeName.isEmpty())
        return 0;
    for (qint64 pid : allPids()) {
        if (nameMatches(pid, exeName))
            return pid;
    }
    return 0;
}

namespace {

// Stops, then kills the given processes and all their descendants; logs "cmd:" with `what` and
// the ids, then "kill proc succ" or "kill proc fail".
bool killTrees(QList<qint64> victims, const QString& what)
{
    const qint64 self = QCoreApplication::applicationPid();
    victims.removeAll(self);

    // Stop the named processes and their descendants before killing any, so that none can
    // start new children meanwhile and no child is lost by being handed to init.
    QSet<qint64> known(victims.begin(), victims.end());
    for (int next = 0, round = 0; next < victims.size() && round < 100; ++round) {
        for (const int end = victims.size(); next < end; ++next)
            ::kill(static_cast<pid_t>(victims[next]), SIGSTOP);
        const QHash<qint64, qint64> parents = parentMap();
        for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
            if (known.contains(it.value()) && !known.contains(it.key()) && it.key() != self && it.key() != 1) {
                known.insert(it.key());
                victims.append(it.key());
            }
        }
    }

    QStringList pidTexts;
    for (qint64 pid : victims)
        pidTexts << QString::number(pid);
    qDebug() << "cmd:" << QStringLiteral("kill -KILL %1 and descendants: [%2]").arg(what, pidTexts.join(' '));

    bool ok = true;
    for (qint64 pid : victims) {
        if (::kill(static_cast<pid_t>(pid), SIGKILL) != 0 && errno != ESRCH) {
            qDebug() << "kill" << pid << "failed:" << qt_error_string(errno);
            ::kill(static_cast<pid_t>(pid), SIGCONT);
            ok = false;
        }
    }

    // Like taskkill, return once they are gone, so that their ports are free for a successor.
    QElapsedTimer waited;
    waited.start();
    while (!victims.isEmpty() && waited.elapsed() < 2000) {
        victims.erase(std::remove_if(victims.begin(), victims.end(), hasEnded), victims.end());
        if (!victims.isEmpty())
            QThread::msleep(5);
    }
    if (!victims.isEmpty())
        ok = false;

    qDebug() << (ok ? "kill proc succ" : "kill proc fail");
    return ok;
}

// Real user id from a /proc/<pid>/status text; -1 when it has none.
qint64 realUid(const QByteArray& statusText)
{
    for (const QByteArray& line : statusText.split('\n')) {
        if (line.startsWith("Uid:")) {
            const QList<QByteArray> fields = line.mid(4).simplified().split(' ');
            bool ok = false;
            const qint64 uid = fields.value(0).toLongLong(&ok);
            return ok ? uid : -1;
        }
    }
    return -1;
}

} // namespace

bool killProcessTree(const QString& exeName)
{
    return killTrees(processIdsByName(exeName), exeName);
}

bool killStaleHelpers(const QString& exePath)
{
    // The path the kernel shows for a running copy: symbolic links resolved.
    const QFileInfo info(exePath);
    const QString target = info.exists() ? info.canonicalFilePath() : QDir::cleanPath(info.absoluteFilePath());
    const qint64 self = QCoreApplication::applicationPid();
    const qint64 uid = qint64(::getuid());
    QList<qint64> stale;
    for (qint64 pid : allPids()) {
        if (pid == self || exePath.isEmpty())
            continue;
        QByteArray exe = readLink(procPath(pid, "exe"));
        // A helper replaced on disk while it ran is still this installation's helper.
        if (exe.endsWith(" (deleted)"))
            exe.chop(10);
        if (exe.isEmpty() || QString::fromLocal8Bit(exe) != target)
            continue;
        if (realUid(readSmallFile(QString::fromLatin1(procPath(pid, "status")))) != uid)
            continue;
        stale.append(pid);
    }
    return killTrees(stale, target);
}

// The shell's result code for a program that cannot be started (0 when it can): 2 no such file,
// 3 no such folder, 11 not an executable program. No elevation prompt exists on Linux.
static int launchProblem(const QFileInfo& file, const QString& workDir)
{
    if (!file.exists() || file.isDir())
        return 2;
    if (!workDir.isEmpty() && !QFileInfo(workDir).isDir())
        return 3;
    if (!file.isExecutable())
        return 11;
    return 0;
}

int runElevated(const QString& program, const QString& workDir)
{
    const QFileInfo file(program);
    if (const int problem = launchProblem(file, workDir))
        return problem;
    return QProcess::startDetached(file.absoluteFilePath(), {}, workDir) ? 42 : 11;
}

// --- Driver channel ---

LoopbackUdp::~LoopbackUdp()
{
    close();
}

bool LoopbackUdp::startup()
{
    return true;
}

void LoopbackUdp::cleanup() { }

bool LoopbackUdp::open()
{
    close();
    m_handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return m_handle != -1;
}

bool LoopbackUdp::setReceiveTimeout(int ms)
{
    timeval tv {};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(int(m_handle), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

int LoopbackUdp::bindLoopback(quint16 port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int result = ::bind(int(m_handle), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return result == 0 ? 0 : (errno != 0 ? errno : result);
}

quint16 LoopbackUdp::localPort() const
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    if (m_handle == -1 || ::getsockname(int(m_handle), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

int LoopbackUdp::receive(char* buffer, int size)
{
    if (m_handle == -1 || size <= 0)
        return -1;
    const ssize_t n = ::recvfrom(int(m_handle), buffer, size_t(size), 0, nullptr, nullptr);
    return n < 0 ? -1 : int(n);
}

void LoopbackUdp::close()
{
    if (m_handle != -1)
        ::close(int(m_handle));
    m_handle = -1;
}

bool LoopbackUdp::sendTo(quint16 port, const QByteArray& data)
{
    LoopbackUdp socket;
    if (port == 0 || !socket.open())
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const ssize_t sent = ::sendto(int(socket.m_handle), data.constData(), size_t(data.size()), 0,
        reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return sent == data.size();
}

namespace {

// Closes every descriptor from `from` up, but `keep`; only async-signal-safe calls (after fork).
void closeDescriptorsFrom(int from, int keep)
{
#ifdef SYS_close_range
    if (keep >= from) {
        if ((keep == from || ::syscall(SYS_close_range, from, keep - 1, 0) == 0)
            && ::syscall(SYS_close_range, keep + 1, ~0U, 0) == 0)
            return;
    } else if (::syscall(SYS_close_range, from, ~0U, 0) == 0) {
        return;
    }
#endif
    for (int fd = from; fd < 4096; ++fd) {
        if (fd != keep)
            ::close(fd);
    }
}

} // namespace

int runElevatedCommand(const QString& program, const QString& parameters, const QString& workDir)
{
    const QFileInfo file(program);
    if (const int problem = launchProblem(file, workDir))
        return problem;

    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    const QByteArray path = QFile::encodeName(file.absoluteFilePath());
    const QByteArray dir = QFile::encodeName(workDir);
    QList<QByteArray> storage { path };
    for (const QString& arg : splitCommandLine(parameters))
        storage.append(arg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The child reports a failed exec through this pipe; end of file means the exec succeeded.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return 0;
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return 0;
    }
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            if (devNull != STDIN_FILENO)
                ::close(devNull);
        }
        closeDescriptorsFrom(3, report[1]);
        int error = 0;
        if (!dir.isEmpty() && ::chdir(dir.constData()) != 0)
            error = errno;
        else
            ::execv(argv[0], argv.data());
        if (error == 0)
            error = errno;
        ssize_t ignored = ::write(report[1], &error, sizeof error);
        (void)ignored;
        ::_exit(127);
    }
    ::close(report[1]);
    int error = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &error, sizeof error);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    // The program stays our child; someone has to collect it when it ends.
    std::thread([pid]() {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) { }
    }).detach();
    if (n <= 0)
        return 42;
    switch (error) {
    case ENOENT:
        return 2;
    case ENOTDIR:
        return 3;
    case ENOMEM:
        return 0;
    default:
        return 11;
    }
}

QSize monitorSize()
{
    // Asked of the X server directly, so that it works before the application object exists;
    // the screen is the X screen (all monitors of a multi-monitor screen together). No X display
    // (Wayland without XWayland, a console): empty, which means no scaling.
    const QSize pixels = x11::displayScreenSize();
    qDebug() << pixels.width() << pixels.width();
    qDebug() << pixels.height() << pixels.height();
    return pixels;
}

QString hardwareUuid()
{
    return linuxMachineUuid();
}

} // namespace zq::platform
