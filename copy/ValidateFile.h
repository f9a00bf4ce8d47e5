#pragma once

#include "copy/CopyHost.h"
#include "platform/Checksum.h"
#include "platform/Files.h"

#include <QtGlobal>

namespace tarsel {

// Compares the open copy `target` with the open `source` in blocks of `blockSize` bytes while the
// progress bar runs down from 100 towards 0, yielding after every full block. True only when both
// have the same length and the same bytes; a verification the host cancelled is never true. A
// file that cannot be read throws RunTimeError; so does a block size below 1. With `digest`, every
// block found equal is added to it as it is compared: after a true answer it holds the digest of
// the bytes both files hold, and neither file was read for it again.
bool ValidateFile(const platform::OpenFile& source, const platform::OpenFile& target,
                  qint32 blockSize, CopyHost& host, platform::Sha256* digest = nullptr);

} // namespace tarsel
