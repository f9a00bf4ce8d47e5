#pragma once

#include "core/Yielder.h"
#include "platform/ProcessTable.h"

#include <QtGlobal>
#include <functional>

namespace tarsel {

// Ends the running Access processes of this user at once, as the sweep ends them: each is asked to
// close at its first sight, also one that starts while others are given their time, and those
// still there `graceMs` after they were asked (or that have nothing to ask) are ended. Waits by
// yielding. Throws RunTimeError when the table cannot be read, and userInterrupt() as soon as
// `cancelled` says so: from then on nobody is asked or ended.
void endAccessProcesses(platform::ProcessTable& table, Yielder& yielder, qint64 graceMs,
                        const std::function<bool()>& cancelled);

} // namespace tarsel
