#pragma once
// Everything the client asks of the operating system: ports in use, processes, low-port
// privileges, screens, starting programs and opening links. Which file defines what
// (scripts/wincheck checks that the Windows set defines each function once):
//  - platform.cpp, every system: canBindLowPorts, lowPortShift, exeFileName, startDetached,
//    shellResultText, splitCommandLine, openUrl;
//  - platform_linux.cpp on Linux, platform_win.cpp on Windows: all the others (port tables,
//    lowestBindablePort, process lookup and kill, elevated starts, LoopbackUdp, monitorSize,
//    hardwareUuid). Their system-free logic lives in shelltext.*, systables.* and procfs.*.

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

// Forced kill, with all their descendants, of the processes left over from an earlier run of
// this installation's helper: those of this user whose executable is exePath (the full path of
// the helper). Other users' processes and programs of the same name elsewhere are left alone.
// Logs "cmd:" with what it does, then "kill proc succ" or "kill proc fail"; true when nothing
// failed, none running included. Linux: /proc/<pid>/exe and the real user id; Windows: the
// process image path (QueryFullProcessImageNameW) and the owner's SID.
bool killStaleHelpers(const QString& exePath);

// Starts program detached with args in workDir (empty: the current folder).
bool startDetached(const QString& program, const QStringList& args, const QString& workDir);

// Starts program with administrator rights where the system has such a thing. Result codes as
// the Windows shell's: greater than 32 is success, 2 file not found, 3 folder not found,
// 11 not an executable program. On Linux the program is started detached without elevation.
int runElevated(const QString& program, const QString& workDir);

// Text for a failed shell-execution result (the log label of an elevated start).
QString shellResultText(int result);

// --- Driver channel ---------------------------------------------------------------------
// The per-program proxy driver: its UDP datagrams on 127.0.0.1 through the system's sockets
// (Winsock 2.2 on Windows, POSIX elsewhere) and its start with a command line.

// One UDP socket on the loopback interface. Not copyable; closed by its destructor.
class LoopbackUdp {
public:
    LoopbackUdp() = default;
    ~LoopbackUdp();
    LoopbackUdp(const LoopbackUdp&) = delete;
    LoopbackUdp& operator=(const LoopbackUdp&) = delete;

    // Per-thread set-up of the socket library (WSAStartup 2.2); always true on POSIX. Each
    // successful startup() is paired with one cleanup().
    static bool startup();
    static void cleanup();

    // Creates the socket; false on failure.
    bool open();
    bool isOpen() const { return m_handle != -1; }
    // Receive time-out for receive(); false when it cannot be set.
    bool setReceiveTimeout(int ms);
    // Binds to 127.0.0.1:port (0: the system picks). 0 on success, else the call's result.
    int bindLoopback(quint16 port);
    // Port the socket is bound to; 0 when unbound or unknown.
    quint16 localPort() const;
    // Waits up to the receive time-out for one datagram; its length, or -1 on time-out or error.
    int receive(char* buffer, int size);
    void close();

    // Sends data as one datagram to 127.0.0.1:port from a new socket (with its own startup and
    // cleanup); true when the system took it.
    static bool sendTo(quint16 port, const QByteArray& data);

private:
    qintptr m_handle = -1; // SOCKET on Windows, a descriptor elsewhere
};

// Starts program with administrator rights and the command-line text `parameters` (the
// system's quoting: each argument in double quotes, "" an empty argument), in workDir (empty:
// no working folder), its window hidden. Result codes as runElevated. On Windows through the
// shell's "runas" verb after converting the text through the ANSI code page (logs "res小于0"
// when that fails). On Linux without elevation, as a direct child of the calling thread (so
// the program may ask for a signal when its parent is gone), never waited for by the caller.
int runElevatedCommand(const QString& program, const QString& parameters, const QString& workDir);

// The arguments of a command-line text by the Windows rules: blanks separate, double quotes
// group (an empty pair is an empty argument), 2n backslashes before a quote give n, 2n+1 give n
// and a literal quote. Portable (platform.cpp).
QStringList splitCommandLine(const QString& commandLine);

// --- Desktop ------------------------------------------------------------------------------

// Pixel size of the monitor nearest the active window; logs two widths, then two heights. Needs
// no application object, so that the scaling can be decided before one exists.
// Linux: the default screen of the X display in $DISPLAY, from the server's connection set-up
// reply over its local socket (x11.h); empty without a reachable X display (no scaling then).
// Windows: the User32 monitor rectangle (not the work area), logged next to the display mode's
// size.
QSize monitorSize();

// Hardware UUID of this machine, the first half of the union id; empty when it cannot be read.
// Linux: the machine id (readable by every user) before the DMI product UUID, trimmed. Windows: the value line of
// "wmic csproduct get UUID" as it stands (column blanks and "\r\r" kept, as the union id has
// always hashed it), or where wmic is gone or prints nothing, the SMBIOS UUID in the same form.
QString hardwareUuid();

// Opens url with the desktop's default handler.
bool openUrl(const QUrl& url);

} // namespace zq::platform
