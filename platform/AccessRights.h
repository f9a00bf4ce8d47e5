#pragma once

#include <QString>
#include <QtGlobal>

namespace tarsel::platform {

// Gives the staging file, open as `handle` (a descriptor on Linux, a HANDLE on Windows) and named
// `stagingPath`, the access rights of `oldVersion`, so that everyone who could open the old
// version can open the new one. Linux: the owner and group where the runner may set them, the
// permission bits with the owner's write bit (a new release comes without the read-only
// attribute), and the POSIX ACL, or none. Windows: the DACL with its protection, and the owner
// where the runner may set it. A symbolic link stands for the file it names. Without an old
// version (or with one that is no file) the staging file, made for its owner alone, gets what a
// new file in its folder gets, as the system decides it for a file made there and removed at
// once. Throws RunTimeError when the rights cannot be read or applied.
void adoptAccessRights(const QString& oldVersion, qintptr handle, const QString& stagingPath);

} // namespace tarsel::platform
