#pragma once

#include "copy/CopyHost.h"
#include "platform/Checksum.h"
#include "platform/Files.h"
#include "platform/StagingFile.h"

#include <QtGlobal>

namespace tarsel {

// Compares the open copy `target` with the open `source` in blocks of `blockSize` bytes while the
// progress bar runs down from 100 towards 0, yielding after every full block. True only when both
// have the same length and the same bytes; a verification the host cancelled is never true. A
// file that cannot be read throws RunTimeError; so does a block size below 1. With `digest`, the
// release's bytes found equal are added to it on a hashing thread while the next ones are compared
// (HashingThread): after a true answer it holds the digest of the bytes both files hold, and
// neither file was read for it again; after any other answer it holds nothing to use.
bool ValidateFile(const platform::OpenFile& source, const platform::OpenFile& target,
                  qint32 blockSize, CopyHost& host, platform::Sha256* digest = nullptr);

// The same with a staging file's copy as storage holds it: each stretch of it is read once it is
// there, while the later ones are still being written out.
bool ValidateFile(const platform::OpenFile& source, platform::StoredCopy& target, qint32 blockSize,
                  CopyHost& host, platform::Sha256* digest = nullptr);

} // namespace tarsel
