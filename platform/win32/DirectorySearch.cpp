#include "platform/DirectorySearch.h"

#include "platform/Paths.h"
#include "platform/win32/Win32.h"

namespace tarsel::platform {

using namespace win32;

namespace {

// The file a path names, following links, opened for its attributes alone: others may hold it.
HANDLE openAttributes(const QString& path, DWORD access) {
    const HANDLE handle = CreateFileW(widePath(path).c_str(), access, ShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        fail(path);
    return handle;
}

} // namespace

quint32 attributesOf(const QString& path) {
    const HANDLE handle = openAttributes(path, FILE_READ_ATTRIBUTES);
    FILE_BASIC_INFO info{};
    const bool read = GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info);
    const DWORD err = GetLastError();
    CloseHandle(handle);
    if (!read)
        throw errorFrom(err, path);
    return info.FileAttributes;
}

void setAttributes(const QString& path, quint32 attributes) {
    const HANDLE handle = openAttributes(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    // Only the bits a program may set; the others (folder, link, compressed...) the system keeps.
    constexpr DWORD Settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                               FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const bool set = setAttributesOf(handle, attributes & Settable);
    const DWORD err = GetLastError();
    CloseHandle(handle);
    if (!set)
        throw errorFrom(err, path);
}

// The system's own search: its wildcards, its case rules, its order.
std::optional<FoundEntry> findFirst(const QString& path,
                                    const std::function<bool(const FoundEntry&)>& accept) {
    const QString folder = folderOf(path);
    if (folder.size() == path.size())
        return std::nullopt;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileExW(widePath(path).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::optional<FoundEntry> result;
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        FoundEntry entry{folder + name, name, found.dwFileAttributes};
        if (!accept || accept(entry))
            result = std::move(entry);
    } while (!result && FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

} // namespace tarsel::platform
