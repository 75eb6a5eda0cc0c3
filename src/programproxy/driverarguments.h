#pragma once
// The seventeen launch arguments of the per-program proxy driver and the command line that
// carries them.

#include <QString>
#include <QStringList>

namespace zq::programproxy {

// The public host the driver is given (argument 15).
inline constexpr const char* kDriverProbeHost = "www.example.com";

// The fixed list of processes the driver leaves alone (argument 12), runs of spaces included.
QString driverFixedProcessList();

// The arguments in order, before quoting. Encoded ones are the payload codec's encoding with the
// driver key, from a codec made for this call. entryNames: qName of every program-list entry,
// the placeholder's empty name included.
QStringList driverArguments(int programPort, const QStringList& entryNames, int uiUdpPort);

// Each argument in double quotes, separated by one space.
QString driverCommandLine(const QStringList& arguments);

} // namespace zq::programproxy
