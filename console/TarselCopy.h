#pragma once

#include "console/Options.h"

namespace tarsel::console {

// One unattended run as the options ask: skips a current target, ends the Access processes that
// hold the target, runs the release run, says how it went on standard output (and errors on
// standard error), logs it and opens the target. Returns the exit code.
int runTarselCopy(const Options& options);

// A run refused for its command line: says why on standard error, then ends as every run ends,
// with its result line on standard output and its log line where the options name a log (the
// caller clears a log that must not be written). Returns the exit code for bad usage.
int refuseRun(const Options& options, const QString& why);

} // namespace tarsel::console
