#pragma once

#include "filetime/FileTimeRecords.h"

#include <QDateTime>
#include <QString>

namespace tarsel {

// 9999-12-31 00:00:00: the date of a file that is not there.
QDateTime MissingFileDate();

// One of the time stamps of the file (or the first entry that a wildcard path matches), as a local
// date and time to whole seconds, converted with the UTC offset in force now. The missing-date
// value when nothing matches, the kind names no time stamp, or the stamp has no local date. Throws
// RunTimeError when the date cannot be read back from its text (a year after 9999).
QDateTime ReadFileDate(FileTimeRecords& records, const QString& fileName, qint32 kind);

} // namespace tarsel
