#pragma once
// Copies the installation's bundled folders (settings defaults, driver files) into the
// user's data folders without ever replacing a file that is already there.

#include <QString>

namespace FolderCopy {

// Lower-case hex MD5 of the file content; empty for a missing or empty file.
QString fingerprint(const QString& path);

// Both paths end in "/". Recurses into sub-folders.
void copyFolder(const QString& source, const QString& destination);

} // namespace FolderCopy
