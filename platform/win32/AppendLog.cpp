#include "platform/AppendLog.h"

#include "platform/win32/Win32.h"

#include <utility>

namespace tarsel::platform {

namespace {

HANDLE nativeOf(qintptr handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// Append access alone, without FILE_WRITE_DATA, makes each write land at the file's end in one
// step, also on a share; others may read, append and remove meanwhile. A missing log is made with
// the name's own reparse point left alone: CREATE_NEW then fails on a link, whether or not it
// leads anywhere.
HANDLE openOrMake(const std::wstring& name, bool& made) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        HANDLE file = CreateFileW(name.c_str(), FILE_APPEND_DATA, win32::ShareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_NOT_FOUND)
            return file;
        file = CreateFileW(name.c_str(), FILE_APPEND_DATA, win32::ShareAll, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            made = file != INVALID_HANDLE_VALUE;
            return file;
        }
        // Made by another run meanwhile, or a link that leads nowhere: the second round tells.
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

AppendLog::AppendLog(const QString& path) : path_(path) {
    using namespace win32;
    const HANDLE file = openOrMake(widePath(path), made_);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        // Missing, yet something is at its name: a link that leads nowhere.
        if (err == ERROR_FILE_EXISTS)
            throw RunTimeError(ErrorKind::PathFileAccess,
                               path + QStringLiteral(": a symbolic link to no file"));
        const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw notRegularFile(path);
        throw errorFrom(err, path);
    }
    handle_ = reinterpret_cast<qintptr>(file);
    // A device (NUL, CON, a COM port) or a pipe is no log.
    FileIdentity identity;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(nativeOf(std::exchange(handle_, -1)));
        throw notRegularFile(path);
    }
    if (!identityOf(file, identity)) {
        const DWORD err = GetLastError();
        CloseHandle(nativeOf(std::exchange(handle_, -1)));
        throw errorFrom(err, path);
    }
    id_ = FileId{identity.volume, identity.index};
}

AppendLog::~AppendLog() {
    if (handle_ != -1)
        CloseHandle(nativeOf(handle_));
}

// NTFS sets aside the room for a write before it writes: one that fails has written nothing.
void AppendLog::append(const QByteArray& line) {
    DWORD written = 0;
    if (!WriteFile(nativeOf(handle_), line.constData(), DWORD(line.size()), &written, nullptr))
        win32::fail(path_);
    if (written != DWORD(line.size()))
        throw win32::errorFrom(ERROR_WRITE_FAULT, path_);
}

void AppendLog::close() {
    if (!CloseHandle(nativeOf(std::exchange(handle_, -1))))
        win32::fail(path_);
}

} // namespace tarsel::platform
