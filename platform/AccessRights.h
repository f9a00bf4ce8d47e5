#pragma once

#include "core/RunTimeError.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tarsel::platform {

// Gives the new version, open as `handle` (a descriptor on Linux, a HANDLE on Windows) under a
// staging name in the folder of `newVersion`, the access rights of `oldVersion`, so that everyone
// who could open the old version can open the new one, and nobody else. Linux: the owner and
// group where the runner may set them, the permission bits with the owner's write bit (a new
// release comes without the read-only attribute), and the POSIX ACL, or none; the bits that an
// owner or group that could not be kept had beyond everyone else are cleared, since they would
// now apply to the runner's own. Windows: the DACL with its protection, and the owner where the
// runner may set it. A symbolic link stands for the file it names. Without an old version (or
// with one that is no file) the new version, made for its owner alone, gets what a new file in its
// folder gets, as the system decides it for a file made there and removed at once.
//
// Returns what the new version could not keep (an owner or group), for the run to warn of; empty
// when it kept everything. Throws RunTimeError, naming `newVersion`, the name the user knows, when
// the rights cannot be read or applied.
std::optional<RunTimeError> adoptAccessRights(const QString& oldVersion, qintptr handle,
                                              const QString& newVersion);

} // namespace tarsel::platform
