#pragma once

#include "core/Yielder.h"
#include "platform/Files.h"

// What each system's staging file takes from the same system's implementation of Files.h.
namespace tarsel::platform::parts {

// Reserves room for the file's first `end` bytes, of which those before `from` already have theirs,
// without lengthening the file: a disk too full for them fails here. False where the file system
// cannot reserve room.
bool reserve(const OpenFile& file, qint64 from, qint64 end);

// Reserves room for `length` bytes a piece at a time, with `yielder` (where given) between the
// pieces: right after a large file was freed, a file system may take tens of milliseconds for a
// GiB. A file system that cannot reserve room goes on.
void reserveInPieces(const OpenFile& file, qint64 length, Yielder* yielder);

} // namespace tarsel::platform::parts
