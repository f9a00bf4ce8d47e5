#pragma once

#include "platform/Files.h"

// What the parts of Files.h that every system shares ask of each system's own implementation.
namespace tarsel::platform::parts {

// Opens `path` to take the copy of `source`: the source itself, a symbolic link and anything but a
// regular file are refused before anything is emptied; otherwise the file is created or emptied.
OpenFile openCopyTarget(const OpenFile& source, const QString& path);

// Reserves room for `length` bytes without lengthening the file: a disk too full for them fails
// here. A file system that cannot reserve room goes on.
void reserve(const OpenFile& file, qint64 length);

// Removes a file; a failure is ignored.
void removeQuietly(const QString& path);

} // namespace tarsel::platform::parts
