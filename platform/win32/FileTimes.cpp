#include "platform/FileTimes.h"

#include "platform/win32/Win32.h"

#include <limits>

namespace tarsel::platform {

using namespace win32;

namespace {

// The search is closed at once; a value no handle has tells a found entry from none.
constexpr qint32 SearchHandle = std::numeric_limits<qint32>::max();

::FILETIME native(const FILETIME& time) {
    return {DWORD(time.ticks), DWORD(time.ticks >> 32)};
}

FILETIME ours(const ::FILETIME& time) {
    return {(quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime};
}

::SYSTEMTIME native(const SYSTEMTIME& f) {
    return {f.wYear, f.wMonth,  f.wDayOfWeek, f.wDay,
            f.wHour, f.wMinute, f.wSecond,    f.wMilliseconds};
}

SYSTEMTIME ours(const ::SYSTEMTIME& f) {
    return {f.wYear, f.wMonth,  f.wDayOfWeek, f.wDay,
            f.wHour, f.wMinute, f.wSecond,    f.wMilliseconds};
}

} // namespace

bool lastWriteTimeOf(qintptr handle, FILETIME& time) {
    ::FILETIME written{};
    if (!GetFileTime(reinterpret_cast<HANDLE>(handle), nullptr, nullptr, &written))
        return false;
    time = ours(written);
    return true;
}

qint32 findFirstFile(const QString& fileName, WIN32_FIND_DATA& found) {
    WIN32_FIND_DATAW data{};
    const HANDLE search = FindFirstFileExW(widePath(fileName).c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return InvalidHandle;
    FindClose(search);
    found.dwFileAttributes = data.dwFileAttributes;
    found.ftCreationTime = ours(data.ftCreationTime);
    found.ftLastAccessTime = ours(data.ftLastAccessTime);
    found.ftLastWriteTime = ours(data.ftLastWriteTime);
    found.cFileName = QString::fromWCharArray(data.cFileName);
    return SearchHandle;
}

bool fileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
    const ::FILETIME in = native(utc);
    ::FILETIME out{};
    if (!::FileTimeToLocalFileTime(&in, &out))
        return false;
    local = ours(out);
    return true;
}

bool localFileTimeToFileTime(const FILETIME& local, FILETIME& utc) {
    const ::FILETIME in = native(local);
    ::FILETIME out{};
    if (!::LocalFileTimeToFileTime(&in, &out))
        return false;
    utc = ours(out);
    return true;
}

bool fileTimeToSystemTime(const FILETIME& time, SYSTEMTIME& fields) {
    const ::FILETIME in = native(time);
    ::SYSTEMTIME out{};
    if (!::FileTimeToSystemTime(&in, &out))
        return false;
    fields = ours(out);
    return true;
}

bool systemTimeToFileTime(const SYSTEMTIME& fields, FILETIME& time) {
    const ::SYSTEMTIME in = native(fields);
    ::FILETIME out{};
    if (!::SystemTimeToFileTime(&in, &out))
        return false;
    time = ours(out);
    return true;
}

qint32 openExistingForWriting(const QString& fileName) {
    // Writing the times needs no access to the data, so a file that others hold open is reached.
    const HANDLE handle = CreateFileW(widePath(fileName).c_str(), FILE_WRITE_ATTRIBUTES, ShareAll,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return handle == INVALID_HANDLE_VALUE ? InvalidHandle : HandleToLong(handle);
}

qint32 setFileTime(qint32 handle, const FILETIME& creation, const FILETIME& lastAccess,
                   const FILETIME& lastWrite) {
    const ::FILETIME times[3] = {native(creation), native(lastAccess), native(lastWrite)};
    return ::SetFileTime(LongToHandle(handle), &times[0], &times[1], &times[2]) ? 1 : 0;
}

void closeHandle(qint32 handle) {
    CloseHandle(LongToHandle(handle));
}

} // namespace tarsel::platform
