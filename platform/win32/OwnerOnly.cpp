#include "platform/win32/OwnerOnly.h"

namespace tarsel::platform::win32 {

namespace {

const QString What = QStringLiteral("the account that runs the program");

std::vector<DWORD> tokenUser() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        fail(What);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<DWORD> user((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    const bool read = size && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    const DWORD err = GetLastError();
    CloseHandle(token);
    if (!read)
        throw errorFrom(err, What);
    return user;
}

} // namespace

OwnerOnly::OwnerOnly() : user_(tokenUser()) {
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD size = DWORD(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    acl_.resize((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    auto* acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, size, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        fail(What);
    attributes_ = {sizeof attributes_, &descriptor_, FALSE};
}

} // namespace tarsel::platform::win32
