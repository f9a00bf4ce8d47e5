#pragma once

#include "copy/Minisign.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <optional>

namespace tarsel {

// What one release run is asked to do, fixed when it starts: a path typed meanwhile changes the
// next run, never this one.
struct ReleaseRequest {
    QString source; // the new release
    QString target; // the file that users run
    bool verify = true;
    // The creation date the new version is given (releaseStamp). None: the run reads it from the
    // release it opened. Not valid when the face could not read that date; the run then fails at
    // the stamp.
    std::optional<QDateTime> created;
    qint32 blockSize = 32767;
    // An empty release is what a publisher's copy shows in its first moment; unattended, it is
    // refused. The window's user picks the file and sees it.
    bool refuseEmpty = false;
    // Where any are given, only a release that one of them signed is taken, never one older than
    // the release this user put into service at the target (SignedRelease.h).
    QList<minisign::PublicKey> trustedKeys;
    // A publish that signs the new version's checksum with this key, as release `signRelease`;
    // it takes its release unsigned, from the build.
    std::shared_ptr<const minisign::SecretKey> signKey;
    quint64 signRelease = 0;
};

} // namespace tarsel
