#pragma once

#include "console/Options.h"
#include "platform/Files.h"

#include <QString>

namespace tarsel::console {

// Where a run's log must never write: into the run's own files, which would then change under it,
// go to every desk with the release, or read as Access's lock file. Each answer names what the log
// would write into ("the target's checksum"), empty when nothing.

// By name, before anything is opened: the release, the target, the records beside either
// (NAME.sha256, NAME.sha256.minisig), the lock file beside either (NAME.laccdb, NAME.ldb), a
// staging file; also where `log` is a symbolic link that leads to one of them, there or not.
QString logNamesRunFile(const QString& log, const Options& options);

// By identity, once the log is open as `log`: the same files as they are now, through links and
// hard links alike.
QString logIsRunFile(const platform::FileId& log, const Options& options);

// The refusal of a log that would write into `what`.
QString logRefusal(const QString& log, const QString& what);

} // namespace tarsel::console
