#pragma once

#include <QString>
#include <QtGlobal>

namespace tarsel::bench {

// Copies and verifies a random file of `size` bytes over and over for about `seconds`, first
// alone, then with the Access sweep driven by a real 500 ms timer (over a table of three standing
// processes), and compares speed and the longest gap between yields. 0 when all went well.
int runWithSweeps(qint64 size, const QString& folder, double seconds);

} // namespace tarsel::bench
