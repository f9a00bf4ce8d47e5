#include "platform/DirectorySearch.h"

#include "platform/Paths.h"
#include "platform/win32/Win32.h"

namespace tarsel::platform {

using namespace win32;

quint32 attributesOf(const QString& path) {
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        fail(path);
    return attributes;
}

void setAttributes(const QString& path, quint32 attributes) {
    if (!SetFileAttributesW(widePath(path).c_str(), attributes ? attributes : Attr::Normal))
        fail(path);
}

// The system's own search: its wildcards, its case rules, its order.
std::optional<FoundEntry> findFirst(const QString& path,
                                    const std::function<bool(const FoundEntry&)>& accept) {
    const QString folder = path.left(lastSeparator(path) + 1);
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
