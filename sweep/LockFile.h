#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace tarsel {

// The lock file that Access keeps beside a database while anyone has it open: NAME.laccdb for
// NAME.accdb and NAME.accde, NAME.ldb for NAME.mdb and NAME.mde (the extension in any case). Empty
// for any other file.
QString lockFilePathFor(const QString& frontEnd);

// The files that a program which has the front end open holds: the front end itself and, where it
// has one, its lock file.
QStringList frontEndFiles(const QString& frontEnd);

// One slot of a lock file: the computer that opened the database and the account it opened it as
// ("Admin" unless the database has user-level security).
struct LockFileEntry {
    QString computer;
    QString account;
    bool operator==(const LockFileEntry&) const = default;
};

// The slots a lock file records, in order. Access does not clear a slot when its user leaves, so
// these are the people who have had the database open, not necessarily who has it open now.
// Never throws and never waits: a file that is missing, unreadable or no regular file yields
// nothing; slots that hold no readable name are passed over.
std::vector<LockFileEntry> readLockFile(const QString& path);

// "recorded in NAME.laccdb (may include people who have left): DESK-12 (Admin), DESK-40 (Admin)",
// each computer and account named once; empty for no entries.
QString lockFileText(const QString& lockPath, const std::vector<LockFileEntry>& entries);

} // namespace tarsel
