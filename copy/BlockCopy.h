#pragma once

#include "copy/CopyHost.h"
#include "core/RunTimeError.h"
#include "platform/Files.h"

#include <QtGlobal>

namespace tarsel {

// Copies the first `length` bytes of `source` onto `target` in blocks of `blockSize` bytes,
// yielding after every block; with Progress::Shown the bar moves from 0 to 100 as the blocks go.
// The bytes follow the blocks a large page-aligned stretch at a time, copied by the system where
// it can (StretchCopy). Throws userInterrupt() when the host cancelled at a yield, and a
// RunTimeError when reading or writing failed or the source ended sooner.
enum class Progress { Shown, Hidden };
void copyInBlocks(const platform::OpenFile& source, const platform::OpenFile& target, qint64 length,
                  qint32 blockSize, CopyHost& host, Progress progress);

} // namespace tarsel
