#include "support/TestHost.h"

#include <windows.h>

namespace tarsel::test {

bool makeFifo(const QString&) {
    return false;
}

qsizetype openHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? qsizetype(count) : -1;
}

} // namespace tarsel::test
