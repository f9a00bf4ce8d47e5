#pragma once

#include "core/RunTimeError.h"

namespace tarsel::platform {

// An errno value as a run-time error of its kind, showing errno itself where it has no kind of its
// own; `what` names the file or operation.
RunTimeError errnoError(int err, const QString& what);

} // namespace tarsel::platform
