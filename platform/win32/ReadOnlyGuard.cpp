#include "platform/ReadOnlyGuard.h"

#include "platform/Paths.h"
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
    // The file of that index on the volume of `hint`, whatever names it has left: the old release
    // once the new one took its name, still there under another (a hard link kept as a backup).
    AttributeHandle(HANDLE hint, quint64 index) {
        FILE_ID_DESCRIPTOR id{};
        id.dwSize = sizeof id;
        id.Type = FileIdType;
        id.FileId.QuadPart = LONGLONG(index);
        handle_ = OpenFileById(hint, &id, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, ShareAll,
                               nullptr, FILE_FLAG_OPEN_REPARSE_POINT);
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
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Puts the attribute back on the file `cleared` if `file` reaches it; false where it does not.
bool restoreReadOnly(const AttributeHandle& file, const FileIdentity& cleared) {
    DWORD attributes = 0;
    FileIdentity reached;
    if (!file.isOpen() || !file.identity(reached) || reached != cleared || !file.read(attributes))
        return false;
    file.write(attributes | FILE_ATTRIBUTE_READONLY);
    return true;
}

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

// Best effort, as the run has ended either way.
ReadOnlyGuard::~ReadOnlyGuard() {
    if (saved_ == 0)
        return;
    const FileIdentity cleared{volume_, index_};
    // Still under its name where the run failed. The new release that took the name is no
    // read-only file: the old one is reached by its index instead, should another name keep it.
    if (restoreReadOnly(AttributeHandle(path_), cleared))
        return;
    QString folder = folderOf(path_);
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    const HANDLE hint = CreateFileW(widePath(folder).c_str(), FILE_READ_ATTRIBUTES, ShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hint == INVALID_HANDLE_VALUE)
        return;
    restoreReadOnly(AttributeHandle(hint, index_), cleared);
    CloseHandle(hint);
}

} // namespace tarsel::platform
