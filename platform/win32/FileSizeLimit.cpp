#include "platform/FileSizeLimit.h"

namespace tarsel::platform {

// Windows has no per-process file size limit: a write past what the disk takes simply fails.
void reportOversizeWrites() {}

} // namespace tarsel::platform
