#pragma once

#include "core/RunTimeError.h"

namespace tarsel::platform {

// Maps an errno value onto the run-time numbers; `what` names the file or operation.
RunTimeError errnoError(int err, const QString& what);

} // namespace tarsel::platform
