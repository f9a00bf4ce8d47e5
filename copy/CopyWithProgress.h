#pragma once

#include "copy/CopyHost.h"
#include "core/RunTimeError.h"
#include "platform/Files.h"

#include <QtGlobal>

namespace tarsel {

// Sources of this length or more are too large for the block copy and go to ALargeFile.
constexpr qint64 LargeFileSize = qint64(1) << 31;

// Copies the open `source`, as long as it was when opened, into the empty open `target` in blocks
// of `blockSize` bytes, moving the progress bar from 0 to 100 and yielding after every block. The
// bytes follow the blocks a large page-aligned stretch at a time, copied by the system where it
// can (StretchCopy). Throws the RunTimeError that stopped the copy, and reports nothing; what was
// written is then the caller's to remove. A failure is also: a block size below 1, a source that
// ends sooner than it did when opened, the host cancelled after a yield (ErrorKind::UserInterrupt),
// and a large source that ALargeFile did not copy.
void CopyWithProgress(const platform::OpenFile& source, const platform::OpenFile& target,
                      qint32 blockSize, CopyHost& host);

} // namespace tarsel
