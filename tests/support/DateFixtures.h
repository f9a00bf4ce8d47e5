#pragma once

#include "filetime/FileDateKind.h"
#include "filetime/ReadFileDate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace tarsel::test {

constexpr QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;

inline QDateTime local(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

inline QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

// A stamp that was made: PutFileDate found the file and the system took the dates.
inline bool stamped(const std::optional<qint32>& result) {
    return result && *result != 0;
}

// The three dates as the reader sees them, and the permissions: what a stamp may not change.
struct DateSnapshot {
    QDateTime created, modified, accessed;
    QFile::Permissions permissions;
    bool operator==(const DateSnapshot&) const = default;
};

inline DateSnapshot dateSnapshot(const QString& path) {
    FileTimeRecords records;
    return {ReadFileDate(records, path, Created), ReadFileDate(records, path, Modified),
            ReadFileDate(records, path, Accessed), QFileInfo(path).permissions()};
}

} // namespace tarsel::test
