#include "platform/FileSizeLimit.h"

#include <csignal>

namespace tarsel::platform {

void reportOversizeWrites() {
    // Ignored, SIGXFSZ turns into EFBIG on the write that crosses the limit.
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace tarsel::platform
