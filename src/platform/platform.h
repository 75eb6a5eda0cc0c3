#pragma once
// Everything the client asks of the operating system: ports in use, processes, low-port
// privileges, screens, starting programs and opening links. One implementation per system
// (platform_linux.cpp, later platform_win.cpp); the parts that only need Qt live in platform.cpp.

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace zq::platform {

// --- Ports ------------------------------------------------------------------------------

// Local ports of every TCP socket (listening and connected, IPv4 and IPv6), ascending, duplicates
// kept. Rows owned by no process (pid 0: sockets in TIME_WAIT and other orphans) and rows owned
// by excludedPid are left out; excludedPid 0 leaves out only the ownerless rows. A row whose
// owner cannot be told counts as held by another process. A failed query gives an empty list.
QList<quint16> tcpPortsInUse(qint64 excludedPid);

// Local ports of every UDP socket bound to a port (port 0 rows skipped), ascending.
QList<quint16> udpPortsInUse();

// Lowest TCP port this process may bind: 1 when it may bind any port.
int lowestBindablePort();

// Whether this process may bind every port below 1024.
bool canBindLowPorts();

// How far a search range starting at `low` is moved up so that its ports can be bound:
// 0 when they can, kLowPortShift when the range starts below what this process may bind.
constexpr int kLowPortShift = 20000;
int lowPortShift(int low);

// --- Processes ----------------------------------------------------------------------------

// The executable file name of a program of ours: "clientProxy" -> "clientProxy.exe" on Windows,
// unchanged elsewhere.
QString exeFileName(const QString& baseName);

// Id of the first process (lowest id) whose executable file name equals exeName exactly
// (case-sensitive); 0 when none.
qint64 processIdByName(const QString& exeName);

// Every process id whose executable file name equals exeName exactly, ascending.
QList<qint64> processIdsByName(const QString& exeName);

// Forced kill of every process named exeName and of all their descendants; never this process.
// Logs "cmd:" with what it does, then "kill proc succ" or "kill proc fail". True when nothing
// failed; none running counts as success (the aim, no such process, is reached).
bool killProcessTree(const QString& exeName);

// Starts program detached with args in workDir (empty: the current folder).
bool startDetached(const QString& program, const QStringList& args, const QString& workDir);

// Starts program with administrator rights where the system has such a thing. Result codes as
// the Windows shell's: greater than 32 is success, 2 file not found, 3 folder not found,
// 11 not an executable program. On Linux the program is started detached without elevation.
int runElevated(const QString& program, const QString& workDir);

// Text for a failed shell-execution result (the log label of an elevated start).
QString shellResultText(int result);

// --- Desktop ------------------------------------------------------------------------------

// Pixel size of the screen nearest the active window (the primary screen when no window is
// active). Logs the physical and the logical width, then the same for the height. Empty when
// there is no QGuiApplication or no screen.
QSize monitorSize();

// Hardware UUID of this machine, trimmed; empty when it cannot be read.
QString hardwareUuid();

// Opens url with the desktop's default handler.
bool openUrl(const QUrl& url);

} // namespace zq::platform
