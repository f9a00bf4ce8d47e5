#pragma once

#include "platform/Files.h"

// What each system's staging file takes from the same system's implementation of Files.h.
namespace tarsel::platform::parts {

// Reserves room for `length` bytes without lengthening the file: a disk too full for them fails
// here. A file system that cannot reserve room goes on.
void reserve(const OpenFile& file, qint64 length);

} // namespace tarsel::platform::parts
