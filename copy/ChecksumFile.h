#pragma once

#include "core/Yielder.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarsel {

// A release is published with a NAME.sha256 beside it, in the form sha256sum writes and
// `sha256sum -c` checks.

// The path of the .sha256 that publishes `file`'s digest: its path with ".sha256" added.
QString checksumPathFor(const QString& file);

// A digest as 64 lower-case hex digits.
QString hexOf(const QByteArray& digest);

// The line sha256sum writes for a file named `fileName` (a name, no folder) with this 32-byte
// digest: hex digits, two blanks, the name in UTF-8, a line feed. A name holding a backslash, a
// line feed or a carriage return is written escaped as sha256sum escapes it (the line begins with a
// backslash; "\\", "\n", "\r" in the name).
QByteArray checksumLine(const QByteArray& digest, const QString& fileName);

// The digest that `file`'s .sha256 publishes for it; none when nothing of that name exists. Every
// other .sha256 that gives no digest throws RunTimeError naming it: one that cannot be opened or
// read, is no regular file, is larger than 64 KiB, holds no checksum line, holds a line sha256sum
// would not read, names other files only, or names this one with two different digests.
// Read as `sha256sum -c` reads: upper-case hex digits, CRLF line ends, the binary marker
// ("HEX *name"), escaped names, comment lines (#) and blank lines are taken. A line names the file
// when the last part of its path is the file's name (the same but for case, on Windows).
std::optional<QByteArray> readPublishedChecksum(const QString& file);

// Writes the digest beside `file` as its .sha256, so that a reader never meets half a line:
// through a staging file of its own, read back as storage holds it and moved over the old one in
// one rename. It takes `file`'s access rights: whoever may open the file may check it. Throws
// RunTimeError.
void writeChecksumFile(const QString& file, const QByteArray& digest, Yielder& yielder);

} // namespace tarsel
