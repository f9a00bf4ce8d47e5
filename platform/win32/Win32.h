#pragma once

// What every Windows implementation here shares: the system headers, paths in the form the wide
// functions take, and Win32 errors as run-time errors.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "core/RunTimeError.h"

#include <QString>
#include <string>

namespace tarsel::platform::win32 {

// Every open leaves reading, writing and deleting to others, unless it must hold the file.
constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path for the wide functions: '/' taken as '\', and a path too long for the old MAX_PATH
// limit made absolute and given the "\\?\" prefix ("\\?\UNC\" for a share), which lifts it.
std::wstring widePath(const QString& path);

// The system's own text for a Win32 error.
QString systemText(DWORD code);

// A Win32 error as a run-time error with the system's own text; `what` names the file.
RunTimeError errorFrom(DWORD code, const QString& what);

// The calling thread's last error, as above.
[[noreturn]] void fail(const QString& what);

// Volume serial number and file index: the same pair is the same file, whatever the spelling.
struct FileIdentity {
    DWORD volume = 0;
    quint64 index = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of an open file, or of what a path names (following links); false on failure.
bool identityOf(HANDLE handle, FileIdentity& identity);
bool identityOf(const QString& path, FileIdentity& identity);

// Sets an open file's attributes, leaving its times as they are.
bool setAttributesOf(HANDLE handle, DWORD attributes);

} // namespace tarsel::platform::win32
