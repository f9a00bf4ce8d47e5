#pragma once

#include "platform/win32/Win32.h"

#include <vector>

namespace tarsel::platform::win32 {

// A security descriptor whose protected DACL lets in the account that runs the program alone, for
// a file made with it: CreateFileW's SECURITY_ATTRIBUTES. Throws RunTimeError when the account
// cannot be read from the process's token.
class OwnerOnly {
public:
    OwnerOnly();
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;

    SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

private:
    std::vector<DWORD> user_; // TOKEN_USER, DWORD-aligned
    std::vector<DWORD> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
};

} // namespace tarsel::platform::win32
