#include "platform/win32/Contracts.h"

namespace tarsel::platform::win32 {

bool contractsChecked() {
    static const bool on = qEnvironmentVariable("TARSEL_WIN32_CONTRACTS") == QLatin1String("1");
    return on;
}

bool contract(bool holds, DWORD code) {
    if (holds || !contractsChecked())
        return true;
    SetLastError(code);
    return false;
}

} // namespace tarsel::platform::win32
