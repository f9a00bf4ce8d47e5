#pragma once

#include <QtGlobal>

namespace tarsel::console {

// Waits `ms` milliseconds, or less where an interrupt (Ctrl+C, SIGTERM) comes first. Returns
// whether the wait ran its course.
bool waitUnlessInterrupted(qint64 ms);

// A time picked at random from 0 to `seconds`, in milliseconds.
qint64 randomMsUpTo(double seconds);

} // namespace tarsel::console
