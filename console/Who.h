#pragma once

#include "console/Options.h"

namespace tarsel::console {

// tarselcopy --who: prints who holds the target, one line each, or that nobody is known to; copies,
// ends and logs nothing. Returns the exit code (0).
int tellWhoHolds(const Options& options);

} // namespace tarsel::console
