#pragma once

#include "filetime/FileTimeRecords.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace tarsel {

// Stamps one time stamp of a file with a local date and time (whole seconds; the milliseconds are
// those the last ReadFileDate left in the records), converted with the UTC offset in force now; the
// other two are written back as the search reported them. A read-only file is made writable for the
// stamp and read-only again.
// Returns nothing when no stamping was attempted (no file matches, the kind names no time stamp, or
// the file cannot be opened for writing), 0 when stamping failed or the date cannot be stamped
// (before 1601, say), nonzero on success. Throws RunTimeError when the attributes cannot be read or
// written.
std::optional<qint32> PutFileDate(FileTimeRecords& records, const QString& fileName, qint32 kind,
                                  const QDateTime& newDate);

} // namespace tarsel
