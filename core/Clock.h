#pragma once

#include <QDateTime>
#include <QtGlobal>

namespace tarsel {

// Milliseconds on a clock that never jumps (midnight, clock changes and suspend do not move it
// back).
qint64 monotonicMs();

// Sleeps the thread briefly; waits use it between yields so that they never spin a core.
void sleepMs(int ms);

// The current local date and time, to whole seconds.
QDateTime nowLocal();

} // namespace tarsel
