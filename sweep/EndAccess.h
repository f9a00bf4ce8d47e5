#pragma once

#include "core/Yielder.h"
#include "platform/ProcessTable.h"
#include "sweep/AskedAccess.h"

#include <QString>
#include <QtGlobal>
#include <functional>

namespace tarsel {

// Ends this user's Access processes that stand in the way of replacing `target`: those that hold it
// or its lock file open. Only where the table cannot tell who holds them does every Access process
// of this user count, as for the window's sweep. A holder of any other image is never ended. Each
// is asked to close at its first sight, also one that starts holding the files while others are
// given their time, and those still in the way `graceMs` after they were asked (or that have
// nothing to ask) are ended; `witness` hears of each. Waits by yielding. Throws RunTimeError when
// the table cannot be read, and userInterrupt() as soon as `cancelled` says so: from then on nobody
// is asked or ended.
void endAccessProcesses(platform::ProcessTable& table, const QString& target, Yielder& yielder,
                        qint64 graceMs, const std::function<bool()>& cancelled,
                        const AskedAccess::Witness& witness = {});

} // namespace tarsel
