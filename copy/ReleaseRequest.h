#pragma once

#include "copy/Minisign.h"
#include "core/Yielder.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <functional>
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
    // A first install unattended has nobody to make the target's folder beforehand: the run makes
    // it, its missing parents too. The window's user picks an existing folder.
    bool createFolder = false;
    // Where any are given, only a release that one of them signed is taken, never one older than
    // the release this user put into service at the target (SignedRelease.h).
    QList<minisign::PublicKey> trustedKeys;
    // A publish that signs the new version's checksum with this key, as release `signRelease`;
    // it takes its release unsigned, from the build.
    std::shared_ptr<const minisign::SecretKey> signKey;
    quint64 signRelease = 0;
    // Clears the way once the copy is verified, just before it replaces the target (tarselcopy
    // --end-access ends the Access that holds it): a run that fails earlier ends nobody's work,
    // and users lose their front end for the shortest time. It waits by yielding through the run,
    // which throws once the run is cancelled. A RunTimeError from it fails the run before the
    // swap, the old version as it was; a cancel cancels it.
    std::function<void(Yielder&)> beforeSwap{};
};

} // namespace tarsel
