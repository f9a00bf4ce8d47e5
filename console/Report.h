#pragma once

#include "console/Options.h"

namespace tarsel::console {

// Which desk runs which release, from a shared log: one line per desk (computer, user, target)
// from its last run, then a summary. With a master (--source, else the stored release path) each
// desk is marked as on its release or behind. A line that is not a log line of this version is
// skipped and counted; a log that cannot be opened is an error (exit 3). The log is read once,
// from front to back, as long as it was when opened, while others go on appending. Returns the
// exit code.
int reportDesks(const Options& options);

} // namespace tarsel::console
