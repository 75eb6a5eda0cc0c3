#pragma once
// Copies the installation's bundled folders (settings defaults, driver files) into the
// user's data folders.

#include <QString>

namespace FolderCopy {

// What happens to a destination file whose content differs from the source's.
enum class Existing {
    Keep, // the user's copy stays (settings the user may have changed)
    Replace, // the installation's copy wins (program files a new version brings)
};

// Lower-case hex MD5 of the file content; empty for a missing or empty file.
QString fingerprint(const QString& path);

// Both paths end in "/". Recurses into sub-folders. A replaced file is swapped in whole, never
// left half-written.
void copyFolder(const QString& source, const QString& destination, Existing existing = Existing::Keep);

} // namespace FolderCopy
