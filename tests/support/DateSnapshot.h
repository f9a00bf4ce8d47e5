#pragma once

#include "filetime/FileDateKind.h"
#include "filetime/ReadFileDate.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

namespace tarsel::test {

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
