#pragma once

#include "console/Options.h"

namespace tarsel::console {

// One unattended run as the options ask: ends Access first, skips a current target, runs the
// release run, says how it went on standard output (and errors on standard error), logs it and
// opens the target. Returns the exit code.
int runTarselCopy(const Options& options);

} // namespace tarsel::console
