#pragma once

#include "filetime/FileDateKind.h"
#include "platform/FileTimes.h"

namespace tarsel {

// Scratch records that ReadFileDate and PutFileDate share; the window owns one for its whole life.
// Neither routine yields, so they never use it at the same time. The milliseconds that the last
// read left in SysTime are those the next stamp carries.
struct FileTimeRecords {
    qint32 FileHandle = 0;
    platform::WIN32_FIND_DATA FindData{};
    platform::FILETIME LocalTime{};
    platform::SYSTEMTIME SysTime{};
};

// The field of the find record that holds `kind`'s time stamp; nothing for any other kind.
inline platform::FILETIME* timeField(platform::WIN32_FIND_DATA& found, qint32 kind) {
    switch (kind) {
    case Created:
        return &found.ftCreationTime;
    case Modified:
        return &found.ftLastWriteTime;
    case Accessed:
        return &found.ftLastAccessTime;
    default:
        return nullptr;
    }
}

} // namespace tarsel
