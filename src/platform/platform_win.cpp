// Windows side of the platform layer: IP Helper tables, Tool Help snapshots, taskkill, the
// shell's "runas" verb, User32 monitor queries, Winsock 2 and wmic or the firmware table.

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // Windows 7
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include "platform.h"
#include "shelltext.h"
#include "systables.h"
#include "tables_win.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

// Order matters: Winsock 2 before windows.h, windows.h before the rest.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

namespace zq::platform {

namespace {

QList<quint16> toList(const std::vector<std::uint16_t>& ports)
{
    return QList<quint16>(ports.begin(), ports.end());
}

std::wstring nativePath(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// The shell's result of ShellExecuteW as an int: greater than 32 means success.
int shellResult(HINSTANCE result)
{
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
}

SOCKET socketOf(qintptr handle)
{
    return handle == -1 ? INVALID_SOCKET : static_cast<SOCKET>(handle);
}

sockaddr_in loopbackAddress(quint16 port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

// --- Ports ---

QList<quint16> tcpPortsInUse(qint64 excludedPid)
{
    return toList(wintables::tcpPorts(excludedPid));
}

QList<quint16> udpPortsInUse()
{
    return toList(wintables::udpPorts());
}

int lowestBindablePort()
{
    return 1; // Windows reserves no ports for administrators
}

// --- Processes ---

QList<qint64> processIdsByName(const QString& exeName)
{
    QList<qint64> found;
    if (exeName.isEmpty())
        return found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (QString::fromWCharArray(entry.szExeFile) == exeName)
            found.append(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    std::sort(found.begin(), found.end());
    return found;
}

qint64 processIdByName(const QString& exeName)
{
    const QList<qint64> found = processIdsByName(exeName);
    return found.isEmpty() ? 0 : found.first();
}

namespace {

// Runs a taskkill command through cmd and logs "kill proc succ" or "kill proc fail".
bool runTaskkill(const QString& command)
{
    QProcess process;
    process.setProgram(QStringLiteral("cmd"));
    // Passed as typed: Qt's own quoting would escape the filter's quotes in a way cmd keeps.
    process.setNativeArguments(QStringLiteral("/c ") + command);
    process.start();
    bool ok = process.waitForStarted(30000) && process.waitForFinished(30000);
    if (!ok && process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
    }
    ok = ok && process.exitStatus() == QProcess::NormalExit && shelltext::taskkillSucceeded(process.exitCode());
    qDebug() << (ok ? "kill proc succ" : "kill proc fail");
    return ok;
}

// The user SID of a process token; empty when it cannot be read.
std::vector<unsigned char> tokenUser(HANDLE process)
{
    std::vector<unsigned char> buffer;
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return buffer;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size > 0) {
        buffer.resize(size);
        if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
            buffer.clear();
    }
    CloseHandle(token);
    return buffer;
}

bool sameUser(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    if (a.empty() || b.empty())
        return false;
    const auto* userA = reinterpret_cast<const TOKEN_USER*>(a.data());
    const auto* userB = reinterpret_cast<const TOKEN_USER*>(b.data());
    return EqualSid(userA->User.Sid, userB->User.Sid) != FALSE;
}

// Full image path of a process; empty when it cannot be opened or read.
QString imagePath(HANDLE process)
{
    wchar_t buffer[32768];
    DWORD size = DWORD(sizeof buffer / sizeof buffer[0]);
    if (!QueryFullProcessImageNameW(process, 0, buffer, &size))
        return {};
    return QString::fromWCharArray(buffer, int(size));
}

} // namespace

bool killProcessTree(const QString& exeName)
{
    const QString command = shelltext::taskkillCommand(exeName, QCoreApplication::applicationPid());
    qDebug() << "cmd:" << command;
    if (command.isEmpty()) {
        // Nothing runs under an empty name; other names taskkill cannot be given safely fail.
        const bool ok = exeName.trimmed().isEmpty();
        qDebug() << (ok ? "kill proc succ" : "kill proc fail");
        return ok;
    }
    return runTaskkill(command);
}

bool killStaleHelpers(const QString& exePath)
{
    const QString target = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(exePath).absoluteFilePath()));
    const std::vector<unsigned char> me = tokenUser(GetCurrentProcess());
    const qint64 self = QCoreApplication::applicationPid();
    QList<qint64> stale;
    if (!exePath.isEmpty()) {
        for (qint64 pid : processIdsByName(QFileInfo(exePath).fileName())) {
            if (pid == self)
                continue;
            const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
            if (!process)
                continue; // another user's process, or gone
            const bool ours
                = imagePath(process).compare(target, Qt::CaseInsensitive) == 0 && sameUser(tokenUser(process), me);
            CloseHandle(process);
            if (ours)
                stale.append(pid);
        }
    }
    const QString command = shelltext::taskkillPidsCommand(stale);
    qDebug() << "cmd:"
             << (command.isEmpty() ? QStringLiteral("taskkill: no %1 of this user runs").arg(target) : command);
    if (command.isEmpty()) {
        qDebug() << "kill proc succ";
        return true;
    }
    return runTaskkill(command);
}

int runElevated(const QString& program, const QString& workDir)
{
    const std::wstring file = nativePath(program);
    const std::wstring dir = nativePath(workDir);
    return shellResult(ShellExecuteW(
        nullptr, L"runas", file.c_str(), nullptr, workDir.isEmpty() ? nullptr : dir.c_str(), SW_SHOWNORMAL));
}

int runElevatedCommand(const QString& program, const QString& parameters, const QString& workDir)
{
    // The driver has always been given its command line through the ANSI code page.
    const QByteArray ansi = parameters.toLocal8Bit();
    std::wstring wide;
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.constData(), -1, nullptr, 0);
    if (length <= 0) {
        qDebug() << "res小于0";
        wide = parameters.toStdWString();
    } else {
        wide.resize(static_cast<std::size_t>(length));
        MultiByteToWideChar(CP_ACP, 0, ansi.constData(), -1, &wide[0], length);
        wide.resize(static_cast<std::size_t>(length - 1)); // the terminating NUL
    }
    const std::wstring file = nativePath(program);
    const std::wstring dir = nativePath(workDir);
    return shellResult(ShellExecuteW(
        nullptr, L"runas", file.c_str(), wide.c_str(), workDir.isEmpty() ? nullptr : dir.c_str(), SW_HIDE));
}

// --- Driver channel ---

LoopbackUdp::~LoopbackUdp()
{
    close();
}

bool LoopbackUdp::startup()
{
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void LoopbackUdp::cleanup()
{
    WSACleanup();
}

bool LoopbackUdp::open()
{
    close();
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    m_handle = s == INVALID_SOCKET ? -1 : static_cast<qintptr>(s);
    return m_handle != -1;
}

bool LoopbackUdp::setReceiveTimeout(int ms)
{
    const DWORD timeout = static_cast<DWORD>(std::max(ms, 0));
    return ::setsockopt(
               socketOf(m_handle), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout)
        == 0;
}

int LoopbackUdp::bindLoopback(quint16 port)
{
    const sockaddr_in address = loopbackAddress(port);
    const int result = ::bind(socketOf(m_handle), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (result == 0)
        return 0;
    const int error = WSAGetLastError();
    return error != 0 ? error : result;
}

quint16 LoopbackUdp::localPort() const
{
    sockaddr_in address {};
    int length = sizeof address;
    if (m_handle == -1 || ::getsockname(socketOf(m_handle), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

int LoopbackUdp::receive(char* buffer, int size)
{
    if (m_handle == -1 || size <= 0)
        return -1;
    const int n = ::recvfrom(socketOf(m_handle), buffer, size, 0, nullptr, nullptr);
    return n == SOCKET_ERROR ? -1 : n;
}

void LoopbackUdp::close()
{
    if (m_handle != -1)
        ::closesocket(socketOf(m_handle));
    m_handle = -1;
}

bool LoopbackUdp::sendTo(quint16 port, const QByteArray& data)
{
    if (port == 0 || !startup())
        return false;
    bool sent = false;
    {
        LoopbackUdp socket;
        if (socket.open()) {
            const sockaddr_in address = loopbackAddress(port);
            sent = ::sendto(socketOf(socket.m_handle), data.constData(), data.size(), 0,
                       reinterpret_cast<const sockaddr*>(&address), sizeof address)
                == data.size();
        }
    }
    cleanup();
    return sent;
}

// --- Desktop ---

QSize monitorSize()
{
    const HMONITOR monitor = MonitorFromWindow(GetActiveWindow(), MONITOR_DEFAULTTONEAREST);
    MONITORINFOEXW info {};
    info.cbSize = sizeof info;
    if (!monitor || !GetMonitorInfoW(monitor, reinterpret_cast<MONITORINFO*>(&info)))
        return {};
    // The whole monitor, not the work area.
    const int width = info.rcMonitor.right - info.rcMonitor.left;
    const int height = info.rcMonitor.bottom - info.rcMonitor.top;
    DEVMODEW mode {};
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsW(info.szDevice, ENUM_CURRENT_SETTINGS, &mode))
        mode.dmPelsWidth = mode.dmPelsHeight = 0;
    qDebug() << mode.dmPelsWidth << width;
    qDebug() << mode.dmPelsHeight << height;
    return QSize(width, height);
}

QString hardwareUuid()
{
    QString wmicUuid;
    QProcess wmic;
    wmic.start(QStringLiteral("wmic"), { QStringLiteral("csproduct"), QStringLiteral("get"), QStringLiteral("UUID") });
    if (wmic.waitForStarted(30000)) {
        if (!wmic.waitForFinished(30000)) {
            wmic.kill();
            wmic.waitForFinished(1000);
        }
        wmicUuid = shelltext::uuidFromWmicOutput(QString::fromLocal8Bit(wmic.readAllStandardOutput()));
    }
    QString firmwareUuid;
    if (wmicUuid.trimmed().isEmpty()) {
        // Current Windows releases no longer ship wmic: read the same SMBIOS field directly.
        const std::vector<unsigned char> table = wintables::smbiosTable();
        firmwareUuid = QString::fromStdString(systables::smbiosSystemUuid(table.data(), table.size()));
        qDebug() << "wmic gave no UUID; firmware UUID:" << firmwareUuid;
    }
    return shelltext::machineUuidText(wmicUuid, firmwareUuid);
}

} // namespace zq::platform
