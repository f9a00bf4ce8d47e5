#pragma once

#include "copy/Minisign.h"
#include "core/Yielder.h"
#include "platform/Files.h"
#include "platform/StagingFile.h"

#include <QByteArray>
#include <QString>

#include <list>
#include <optional>

namespace tarsel {

// The records beside a file that describe the version it holds, kept as one set: NAME.sha256, its
// digest, and NAME.sha256.minisig, the signature of that. A record never describes another version
// than the file beside it: a swap moves the old version's records aside first and writes the new
// version's after, and a version whose record cannot be written goes without one.

// The old version's records, moved aside just before the swap: removed once another file has the
// target's name, put back where none took it (the swap failed).
class OldRecords {
public:
    // Throws RunTimeError naming a record that cannot be moved aside, with every other one back
    // in its place: the swap must not happen then, or that record would describe another version.
    explicit OldRecords(const QString& target);
    OldRecords(const OldRecords&) = delete;
    OldRecords& operator=(const OldRecords&) = delete;
    ~OldRecords();

private:
    QString target_;
    platform::FileIdHold version_; // the file at the target when they were moved
    std::list<platform::SetAside> aside_;
};

// Writes the records of `version` (held, so that no other file takes its identity meanwhile), the
// file now at `target`, whose bytes have this digest.
// Returns false where no record can exist beside it (its name would pass the file system's limit).
// Once they are written the target must still be that file: where another run put its own version
// there meanwhile, they are removed again and RunTimeError says so. Throws RunTimeError when a
// record cannot be written.
// With `signKey`, the .sha256 is signed as release `release` in TARGET.sha256.minisig, written
// after it.
bool writeRecords(const QString& target, const platform::FileIdHold& version,
                  const QByteArray& digest, Yielder& yielder,
                  const minisign::SecretKey* signKey = nullptr, quint64 release = 0);

} // namespace tarsel
