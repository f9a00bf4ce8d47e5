#pragma once

#include <QString>
#include <QtGlobal>

// Windows' file-time records and calls, as a small layer of ours: the date routines are written
// once against them, and every call says what it does on this platform.
namespace tarsel::platform {

// A time stamp: 100 ns ticks since 1601-01-01 00:00:00 (UTC, or local time after conversion).
struct FILETIME {
    quint64 ticks = 0;
};

// A time stamp broken down into fields; wDayOfWeek counts from Sunday = 0.
struct SYSTEMTIME {
    quint16 wYear = 0;
    quint16 wMonth = 0;
    quint16 wDayOfWeek = 0;
    quint16 wDay = 0;
    quint16 wHour = 0;
    quint16 wMinute = 0;
    quint16 wSecond = 0;
    quint16 wMilliseconds = 0;
};

// The entry a search found: its attribute word (Attr bits) and its three time stamps in UTC.
struct WIN32_FIND_DATA {
    quint32 dwFileAttributes = 0;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    QString cFileName;
};

constexpr qint32 InvalidHandle = -1;

// Searches as findFirst does (wildcards allowed in the last part) and fills `found` from the first
// entry. Returns InvalidHandle when nothing matches; otherwise a search handle, which needs no
// closing because the search is closed before it returns.
// On Windows the times are the file system's own. On Linux the creation time is the SMB client's
// user.cifs.creationtime on an SMB mount, else the create time in Samba's user.DOSATTRIB, else the
// birth time, else the last-write time.
qint32 findFirstFile(const QString& fileName, WIN32_FIND_DATA& found);

// Conversions between UTC and local file times use the UTC offset in force now, whatever the date
// converted, so that a value read and written back lands on the same UTC time stamp. They return
// false, and leave the output as it was, when the result falls outside what a FILETIME can hold.
bool fileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local);
bool localFileTimeToFileTime(const FILETIME& local, FILETIME& utc);

// Breaks a file time down into fields (false beyond 2^63 - 1 ticks), and back (false for years
// outside 1601..30827 and for fields that do not form a date and time; wDayOfWeek is ignored).
bool fileTimeToSystemTime(const FILETIME& time, SYSTEMTIME& fields);
bool systemTimeToFileTime(const SYSTEMTIME& fields, FILETIME& time);

// The last-write time of an open file (the system's own handle), in UTC; false when it cannot be
// read.
bool lastWriteTimeOf(qintptr handle, FILETIME& time);

// Opens an existing file for writing without truncating it; InvalidHandle on failure.
qint32 openExistingForWriting(const QString& fileName);

// Sets all three time stamps of an open file. Returns nonzero on success and 0 on failure. On Linux
// a creation time that differs from the file's is stored first (see findFirstFile for where); when
// it cannot be stored, nothing is changed.
qint32 setFileTime(qint32 handle, const FILETIME& creation, const FILETIME& lastAccess,
                   const FILETIME& lastWrite);

void closeHandle(qint32 handle);

} // namespace tarsel::platform
