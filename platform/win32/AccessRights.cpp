#include "platform/AccessRights.h"

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

} // namespace

void adoptAccessRights(const QString& oldVersion, qintptr handle, const QString& stagingPath) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    // By name, which follows a link: users had the rights of the file it names. A link that names
    // no file leaves a new file's rights.
    const DWORD read = GetNamedSecurityInfoW(widePath(oldVersion).c_str(), SE_FILE_OBJECT,
                                             OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                             &owner, nullptr, &dacl, nullptr, &descriptor);
    if (read == ERROR_FILE_NOT_FOUND || read == ERROR_PATH_NOT_FOUND ||
        read == ERROR_CANT_RESOLVE_FILENAME)
        return;
    if (read != ERROR_SUCCESS)
        throw errorFrom(read, oldVersion);
    const std::unique_ptr<void, LocalFreer> held(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision))
        fail(oldVersion);

    const HANDLE file = reinterpret_cast<HANDLE>(handle);
    // Before the DACL, which may take away the runner's right to reopen the file.
    giveOwner(file, owner);
    // As a replacement in place keeps it: a protected DACL stays protected; one that inherits
    // takes its inherited entries from the folder the new version is in.
    const SECURITY_INFORMATION which =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                       : UNPROTECTED_DACL_SECURITY_INFORMATION);
    if (const DWORD err =
            SetSecurityInfo(file, SE_FILE_OBJECT, which, nullptr, nullptr, dacl, nullptr);
        err != ERROR_SUCCESS)
        throw errorFrom(err, stagingPath);
}

} // namespace tarsel::platform
