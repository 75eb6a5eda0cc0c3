#pragma once
// What a dropped file means for the program list: the program it stands for, and its icon.

#include <QString>

namespace zq::programproxy {

// The program file a dropped file stands for; empty when it stands for none. Windows: an ".exe"
// file is itself, an ".lnk" shortcut its target. Elsewhere: an executable file is itself, a
// ".desktop" launcher the program of its "Exec=" line (looked up on PATH when not a full path).
// Suffixes match exactly (an ".EXE" is not taken).
QString programTarget(const QString& path);

// The first word of a launcher's "Exec=" value, with its quoting undone; empty when none.
QString desktopExecProgram(const QByteArray& desktopFile);

// Saves the program's 28 x 28 icon as a PNG; a generic picture where the system gives none.
bool saveProgramIcon(const QString& program, const QString& pngPath);

} // namespace zq::programproxy
