#pragma once

#include "core/Yielder.h"
#include "platform/Files.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarsel {

// A record or key file read whole: a few lines, never more than its reader takes.
struct SmallFile {
    QByteArray bytes;   // at most the size asked for, plus one byte where the file is larger
    qint64 changed = 0; // its change time (FileState::changed): when it was last written or renamed
    bool larger(qint64 maxSize) const { return bytes.size() > maxSize; }
};

// The file at `path`, read up to one byte past `maxSize`; none when nothing of that name exists or
// can exist. A link that leads nowhere is something of that name: a publication that went wrong,
// not a file left out. Throws RunTimeError naming it when it cannot be opened or read, or is no
// regular file.
std::optional<SmallFile> readSmallFile(const QString& path, qint64 maxSize);

// Writes `bytes` as the file at `path`, so that a reader never meets part of them: through a
// staging file of its own, read back as storage holds it and moved over the old one in one rename,
// with the access rights of `rightsOf`. Returns the identity of the file written. Throws
// RunTimeError.
platform::FileId writeSmallFile(const QString& path, const QByteArray& bytes,
                                const QString& rightsOf, Yielder& yielder);

} // namespace tarsel
