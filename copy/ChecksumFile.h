#pragma once

#include "core/Yielder.h"
#include "platform/Files.h"

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

// The digest that the .sha256 beside `file` gives; none when nothing of that name exists, or can
// exist (a name past the file system's limit). Every other .sha256 that gives no digest throws
// RunTimeError naming it: one that cannot be opened or read, is no regular file, is larger than
// 64 KiB, holds no checksum line, holds a line sha256sum would not read, names other files only,
// or names this one with two different digests.
// Read as `sha256sum -c` reads: upper-case hex digits, CRLF line ends, the binary marker
// ("HEX *name"), escaped names, comment lines (#) and blank lines are taken. A line names the file
// when the last part of its path is the file's name (the same but for case, on Windows). A .sha256
// that holds the digest alone (64 hex digits and at most a line end, as `(Get-FileHash
// NAME).Hash` gives it) is taken as the digest of `file`.
// For a version in service: what it was when it was put into service, whatever Access has written
// into it since.
std::optional<QByteArray> readRecordedChecksum(const QString& file);

// The same for a release whose change time (FileState::changed) was `releaseChanged` when it was
// opened: its .sha256 counts only where it was written since (0 where a time is not kept). One
// that is older describes the version that the release replaced, put in place without its
// checksum: it throws RunTimeError (ChecksumDiffers).
std::optional<QByteArray> readPublishedChecksum(const QString& file, qint64 releaseChanged);

// The same with the .sha256's bytes as they were read, which a signature of the release covers.
struct PublishedChecksum {
    QByteArray content;
    QByteArray digest;
};
std::optional<PublishedChecksum> readPublishedChecksumFile(const QString& file,
                                                           qint64 releaseChanged);

// Writes the digest beside `file` as its .sha256, so that a reader never meets half a line:
// through a staging file of its own, read back as storage holds it and moved over the old one in
// one rename. It takes `file`'s access rights: whoever may open the file may check it. Returns the
// identity of the file written. Throws RunTimeError.
platform::FileId writeChecksumFile(const QString& file, const QByteArray& digest, Yielder& yielder);

} // namespace tarsel
