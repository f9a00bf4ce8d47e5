#pragma once

#include "copy/CopyWithProgress.h"
#include "copy/ValidateFile.h"
#include "platform/Files.h"
#include "platform/StagingFile.h"

#include <QByteArray>
#include <QString>

namespace tarsel::test {

// A release copied the way the run copies it: opened for reading, written into a staging file
// beside the target (yielding to `yielder` while its room is reserved, where given), read back as
// storage holds it and compared with the release. Opening either file throws RunTimeError; the
// staging file goes with the object unless it was committed.
class StagedCopy {
public:
    StagedCopy(const QString& release, const QString& target, Yielder* yielder = nullptr)
        : release_(platform::openForReading(release)),
          staging_(target, platform::lengthOf(release_), yielder) {}

    const platform::OpenFile& release() const { return release_; }
    platform::StagingFile& staging() { return staging_; }

    // True when the copy FAILED.
    bool copy(qint32 blockSize, CopyHost& host) {
        try {
            CopyWithProgress(release_, staging_.file(), blockSize, host);
            return false;
        } catch (const RunTimeError&) {
            return true;
        }
    }

    // True when the copy, as storage holds it, has the release's bytes; with `digest`, their
    // digest is computed on the way, as a run does.
    bool verify(qint32 blockSize, CopyHost& host, platform::Sha256* digest = nullptr) {
        platform::StoredCopy copy = staging_.readBack(host);
        return ValidateFile(release_, copy, blockSize, host, digest);
    }

    // What the staging file holds, read through the run's own handle: on Windows a second open by
    // name must let others delete the file, which QFile's does not.
    QByteArray written() const {
        QByteArray bytes(platform::lengthOf(staging_.file()), Qt::Uninitialized);
        bytes.truncate(platform::readAt(staging_.file(), bytes.data(), bytes.size(), 0));
        return bytes;
    }

private:
    platform::OpenFile release_;
    platform::StagingFile staging_;
};

} // namespace tarsel::test
