#pragma once

#include <QString>
#include <QtGlobal>

namespace tarsel::bench {

// Runs this program once per file size from 1 MiB to 4 GiB, each in a fresh process because the
// peak only grows, and prints the peak memory of each. 0 when every copy verified.
int memoryTable(const QString& folder);

// The child's part: makes a random file of `size` bytes, copies it as the window does (a large
// one by the whole-file copy it is offered), verifies it, and prints one line for memoryTable.
int measureMemory(qint64 size, const QString& folder);

} // namespace tarsel::bench
