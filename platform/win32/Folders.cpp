#include "platform/Folders.h"

#include "platform/win32/Win32.h"

namespace tarsel::platform {

using namespace win32;

bool entryExists(const QString& path) {
    return GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool makeFolder(const QString& path) {
    // No security attributes: the folder takes the ACL its parent hands down.
    if (CreateDirectoryW(widePath(path).c_str(), nullptr))
        return true;
    const DWORD err = GetLastError();
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    if (err == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    throw errorFrom(err, path);
}

} // namespace tarsel::platform
