#include "platform/AccessRights.h"

#include "platform/Paths.h"
#include "platform/StagingFile.h"
#include "platform/win32/Win32.h"

#include <aclapi.h>

#include <memory>

namespace tarsel::platform {

using namespace win32;

namespace {

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

// Best effort, through a second handle on the same file: the staging handle is not opened for
// WRITE_OWNER, which may be refused. Only an owner the runner may assign sticks (itself, a group it
// owns files by, anyone with the restore privilege); otherwise the runner stays the owner, as it
// would of a copy made by hand.
void giveOwner(HANDLE file, PSID owner) {
    const HANDLE writable = ReOpenFile(file, WRITE_OWNER, ShareAll, 0);
    if (writable == INVALID_HANDLE_VALUE)
        return;
    SetSecurityInfo(writable, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr,
                    nullptr);
    CloseHandle(writable);
}

// The owner and DACL of a file: read from the old version by name, or from a probe.
struct Rights {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    std::unique_ptr<void, LocalFreer> held;
};

void readRights(DWORD read, PSECURITY_DESCRIPTOR descriptor, Rights& rights, const QString& what) {
    if (read != ERROR_SUCCESS)
        throw errorFrom(read, what);
    rights.held.reset(descriptor);
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &rights.control, &revision))
        fail(what);
}

// What a new file in the staging file's folder gets (inherited entries, or the account's default
// DACL where the folder passes none on), as the system alone decides it: the rights of a file made
// there under a staging name and removed when it is closed.
void readNewFileRights(const QString& oldVersion, const QString& newVersion, Rights& rights) {
    const QString probe = folderOf(newVersion) + stagingName(fileNameOf(oldVersion));
    const HANDLE made =
        CreateFileW(widePath(probe).c_str(), READ_CONTROL | DELETE, ShareAll, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (made == INVALID_HANDLE_VALUE)
        fail(newVersion);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = GetSecurityInfo(made, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                       nullptr, &rights.dacl, nullptr, &descriptor);
    CloseHandle(made);
    readRights(read, descriptor, rights, newVersion);
}

} // namespace

// Windows grants by the accounts in the DACL, never by a file's group: an owner that cannot be
// given leaves the runner the owner, as of a copy made by hand, and no one's rights pass to
// another.
std::optional<RunTimeError> adoptAccessRights(const QString& oldVersion, qintptr handle,
                                              const QString& newVersion) {
    Rights rights;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // By name, which follows a link: users had the rights of the file it names. A link that names
    // no file leaves a new file's rights.
    const DWORD read =
        GetNamedSecurityInfoW(widePath(oldVersion).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &rights.owner,
                              nullptr, &rights.dacl, nullptr, &descriptor);
    if (read == ERROR_FILE_NOT_FOUND || read == ERROR_PATH_NOT_FOUND ||
        read == ERROR_CANT_RESOLVE_FILENAME)
        readNewFileRights(oldVersion, newVersion, rights);
    else
        readRights(read, descriptor, rights, oldVersion);

    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    // Before the DACL, which may take away the runner's right to reopen the file. A new file is
    // the runner's already.
    if (rights.owner)
        giveOwner(file, rights.owner);
    // A DACL that cannot be given fails the run: the file keeps the DACL it was made with, for the
    // runner alone, and is removed. As a replacement in place keeps it: a protected DACL stays
    // protected; one that inherits takes its inherited entries from the folder the new version is
    // in.
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION |
        ((rights.control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                              : UNPROTECTED_DACL_SECURITY_INFORMATION);
    if (const DWORD err =
            SetSecurityInfo(file, SE_FILE_OBJECT, which, nullptr, nullptr, rights.dacl, nullptr);
        err != ERROR_SUCCESS)
        throw errorFrom(err, newVersion);
    return std::nullopt;
}

} // namespace tarsel::platform
