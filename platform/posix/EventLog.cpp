#include "platform/EventLog.h"

namespace tarsel::platform {

// A service or timer unit's journal already holds the result line.
void reportRunEvent(const RunEvent&) {}

} // namespace tarsel::platform
