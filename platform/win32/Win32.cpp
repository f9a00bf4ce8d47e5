#include "platform/win32/Win32.h"

#include <QDir>

namespace tarsel::platform::win32 {

namespace {

// Missing from mingw-w64's headers.
constexpr DWORD ErrorDiskQuotaExceeded = 1295;

// Past this a path may no longer fit MAX_PATH once a name is added (CreateDirectory allows 248).
constexpr qsizetype ShortPathLimit = 240;

ErrorKind kindOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
        return ErrorKind::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ErrorKind::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_USER_MAPPED_FILE:
        return ErrorKind::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ErrorDiskQuotaExceeded:
    case ERROR_FILE_TOO_LARGE:
        return ErrorKind::DiskFull;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
        return ErrorKind::DeviceIO;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_NOT_SAME_DEVICE:
    case ERROR_CANT_ACCESS_FILE:
        return ErrorKind::PathFileAccess;
    default:
        return ErrorKind::System;
    }
}

} // namespace

std::wstring widePath(const QString& path) {
    const QString native = QDir::toNativeSeparators(path);
    if (native.size() < ShortPathLimit || native.startsWith(QLatin1String("\\\\?\\")) ||
        native.startsWith(QLatin1String("\\\\.\\")))
        return native.toStdWString();
    const std::wstring given = native.toStdWString();
    std::wstring full(GetFullPathNameW(given.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return given;
    full.resize(length);
    if (full.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

QString systemText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0)
        return QStringLiteral("System error %1").arg(code);
    const QString result = QString::fromWCharArray(text, int(length)).trimmed();
    LocalFree(text);
    return result;
}

RunTimeError errorFrom(DWORD code, const QString& what) {
    const QString reason = systemText(code);
    return RunTimeError(kindOf(code), code,
                        what.isEmpty() ? reason : what + QStringLiteral(": ") + reason);
}

void fail(const QString& what) {
    throw errorFrom(GetLastError(), what);
}

bool identityOf(HANDLE handle, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool identityOf(const QString& path, FileIdentity& identity) {
    // No access to the data is asked for, so a file that others hold open is still reached; backup
    // semantics open folders too.
    const HANDLE handle = CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES, ShareAll,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const bool known = identityOf(handle, identity);
    CloseHandle(handle);
    return known;
}

bool setAttributesOf(HANDLE handle, DWORD attributes) {
    FILE_BASIC_INFO info{}; // zero times are left as they are
    info.FileAttributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
}

} // namespace tarsel::platform::win32
