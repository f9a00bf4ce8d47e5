#pragma once

#include <QString>
#include <QtGlobal>

namespace tarsel::bench {

// Times a tarselcopy update of a random file of `size` bytes (copy, flush, uncached verification,
// swap) against `cp && sync && cmp` with the copy's cache dropped first, and tarselcopy
// --if-changed on the current target against the update. 0 when every run succeeded.
int raceConsoleProgram(qint64 size, const QString& folder);

} // namespace tarsel::bench
