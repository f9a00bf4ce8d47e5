#pragma once

#include <QString>
#include <QtGlobal>

namespace tarsel::bench {

// Times the block copy and the verification against `cp --reflink=never` and `cmp` on the same
// random file of `size` bytes, through the real event loop, and reports the ratios, the longest
// gap between two yields and the peak memory. 0 when every copy and comparison succeeded.
int raceAgainstTools(qint64 size, const QString& folder);

} // namespace tarsel::bench
