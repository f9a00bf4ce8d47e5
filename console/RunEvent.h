#pragma once

#include "console/RunLog.h"
#include "platform/EventLog.h"

namespace tarsel::console {

// The run as the system's event log gets it: the event of its outcome (a refused command line has
// its own), an error event for every exit code but 0, and the log's fields as its strings.
platform::RunEvent runEventOf(const RunRecord& record);

} // namespace tarsel::console
