#pragma once
// What the Windows side of the platform layer says to and reads from the system's commands,
// kept free of system calls so that the Linux tests cover it.

#include <QList>
#include <QString>

namespace zq::platform::shelltext {

// The machine UUID in the output of "wmic csproduct get UUID" (decoded with the local 8-bit code
// page): every "UUID" removed, then the second line exactly as it stands, trailing blanks and
// carriage returns kept (the union id has always hashed it so); the whole text when it has no
// second line. Logs "cupid:" with a second line.
QString uuidFromWmicOutput(const QString& output);

// The hardware UUID text the union id is made from: wmic's when it gave one, else the firmware's
// UUID in wmic's line form, so that a machine whose Windows no longer ships wmic keeps its id.
// Empty when neither is known.
QString machineUuidText(const QString& wmicUuid, const QString& firmwareUuid);

// Command for cmd /c that force-kills every process named exeName with its descendants, but
// never the process selfPid: "taskkill /f /t /im NAME /fi "PID ne SELF"", the name quoted unless
// it is only letters, digits, '.', '_' and '-'. Empty for an empty name and for one that cannot
// be handed to cmd safely: control characters, characters no file name holds, '%'.
QString taskkillCommand(const QString& exeName, qint64 selfPid);

// Command for cmd /c that force-kills the given processes with their descendants:
// "taskkill /f /t /pid A /pid B ..."; empty for none.
QString taskkillPidsCommand(const QList<qint64>& pids);

// Whether taskkill's exit code means the processes are gone: killed (0), or none was running
// (128, or 0 with a message when a filter matched nothing).
bool taskkillSucceeded(int exitCode);

} // namespace zq::platform::shelltext
