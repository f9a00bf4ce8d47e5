#pragma once

#include "core/RunTimeError.h"
#include "platform/ProcessTable.h"
#include "sweep/LockFile.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace tarsel {

// Who stands in the way of replacing a front end, as far as this computer can tell.
struct Holders {
    // The programs on this computer that hold it or its lock file open, of any image and user;
    // nothing when the system cannot tell.
    std::optional<std::vector<platform::ProcessEntry>> local;
    QString lockFile; // empty when its kind has none
    std::vector<LockFileEntry> recorded;
    bool sawOtherAccounts = true; // false: programs of other accounts could not be looked into
};

// Asks the table and reads the lock file; never throws, and never waits on the lock file.
Holders whoHolds(platform::ProcessTable& table, const QString& frontEnd);

// One line per local holder ("held by MSACCESS.EXE (pid 1234)") and per computer the lock file
// records ("recorded in sales.laccdb (may include people who have left): DESK-12 (Admin)").
QStringList whoHoldsLines(const Holders& holders);

// `error` with whoever holds `frontEnd` named after its description ("...; held by MSACCESS.EXE
// (pid 1234); recorded in sales.laccdb (may include people who have left): DESK-12 (Admin)"), for
// a swap that was refused; unchanged when nobody is known.
RunTimeError namingHolders(const RunTimeError& error, platform::ProcessTable& table,
                           const QString& frontEnd);

} // namespace tarsel
