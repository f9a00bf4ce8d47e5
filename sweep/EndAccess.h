#pragma once

#include "core/Yielder.h"
#include "platform/ProcessTable.h"

#include <QtGlobal>

namespace tarsel {

// Ends the running Access processes of this user at once, as the sweep ends them: each is asked to
// close, and those still there after `graceMs` (or that have nothing to ask) are ended. Waits by
// yielding. Throws RunTimeError when the table cannot be read.
void endAccessProcesses(platform::ProcessTable& table, Yielder& yielder, qint64 graceMs);

} // namespace tarsel
