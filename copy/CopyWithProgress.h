#pragma once

#include "copy/CopyHost.h"

#include <QString>
#include <QtGlobal>

namespace tarsel {

// Sources of this length or more are too large for the block copy and go to ALargeFile.
constexpr qint64 LargeFileSize = qint64(1) << 31;

// Copies `source` onto `target` in blocks of `blockSize` bytes, moving the progress bar from 0 to
// 100 and yielding after every block. The blocks are read one by one and written out gathered,
// in large page-aligned pieces (GatheredWriter). Returns true when the copy FAILED: then nothing it
// wrote is left at the target (a partial copy is removed), and nothing is reported. A failure is
// also: a source that is not a regular file, a block size below 1, a source that ends sooner than
// it did when opened, the host cancelled after a yield, and a large source that ALargeFile did not
// copy.
bool CopyWithProgress(const QString& source, const QString& target, qint32 blockSize,
                      CopyHost& host);

} // namespace tarsel
