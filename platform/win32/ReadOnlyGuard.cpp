#include "platform/ReadOnlyGuard.h"

#include "platform/win32/Win32.h"

namespace tarsel::platform {

using namespace win32;

namespace {

// The file's attributes are read and set through a handle on the name itself, never on what a
// link points to. The handle is not kept: a file held open could not be replaced.
class AttributeHandle {
public:
    explicit AttributeHandle(const QString& path)
        : handle_(CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                              ShareAll, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr)) {
    }
    ~AttributeHandle() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    AttributeHandle(const AttributeHandle&) = delete;
    AttributeHandle& operator=(const AttributeHandle&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

    bool read(DWORD& attributes) const {
        FILE_BASIC_INFO info{};
        if (!GetFileInformationByHandleEx(handle_, FileBasicInfo, &info, sizeof info))
            return false;
        attributes = info.FileAttributes;
        return true;
    }

    bool write(DWORD attributes) const { return setAttributesOf(handle_, attributes); }

    bool identity(FileIdentity& identity) const { return identityOf(handle_, identity); }

private:
    HANDLE handle_;
};

} // namespace

ReadOnlyGuard::ReadOnlyGuard(const QString& path) : path_(path) {
    const AttributeHandle file(path);
    DWORD attributes = 0;
    if (!file.isOpen() && GetLastError() == ERROR_FILE_NOT_FOUND)
        return; // no old release
    if (!file.isOpen() || !file.read(attributes))
        fail(path);
    constexpr DWORD NotOurs = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((attributes & NotOurs) || !(attributes & FILE_ATTRIBUTE_READONLY))
        return;
    FileIdentity cleared;
    if (!file.identity(cleared) || !file.write(attributes & ~DWORD(FILE_ATTRIBUTE_READONLY)))
        fail(path);
    saved_ = attributes;
    volume_ = cleared.volume;
    index_ = cleared.index;
}

ReadOnlyGuard::~ReadOnlyGuard() {
    if (saved_ == 0)
        return;
    const AttributeHandle file(path_);
    DWORD attributes = 0;
    FileIdentity named;
    // Put back only on the file that was cleared: the new release that took its name is no
    // read-only file.
    if (file.isOpen() && file.identity(named) && named == FileIdentity{volume_, index_} &&
        file.read(attributes))
        file.write(attributes | FILE_ATTRIBUTE_READONLY);
}

} // namespace tarsel::platform
