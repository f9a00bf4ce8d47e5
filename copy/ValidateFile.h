#pragma once

#include "copy/CopyHost.h"

#include <QString>
#include <QtGlobal>

namespace tarsel {

// Compares the copy `target` with `source` in blocks of `blockSize` bytes while the progress bar
// runs down from 100 towards 0, yielding after every full block. True only when both have the same
// length and the same bytes; a verification the host cancelled is never true. A file that cannot
// be opened or read throws RunTimeError (both files are closed); so does a block size below 1.
bool ValidateFile(const QString& source, const QString& target, qint32 blockSize, CopyHost& host);

} // namespace tarsel
