#pragma once

#include "platform/win32/Win32.h"

namespace tarsel::platform::win32 {

// Wine accepts some calls that Windows refuses. When the test run asks for it (the variable
// TARSEL_WIN32_CONTRACTS=1, set by the Wine wrapper), the calls that Windows would refuse are
// refused here too, with the error Windows gives, so that the suite fails under Wine where the
// program would fail on Windows. Off, each check passes: Windows itself enforces the contract.
bool contractsChecked();

// Sets `code` as the thread's last error and returns false, when checks are on and `holds` is
// false.
bool contract(bool holds, DWORD code);

} // namespace tarsel::platform::win32
