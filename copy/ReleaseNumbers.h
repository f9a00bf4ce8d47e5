#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarsel {

// The release numbers that this user's own settings store keeps, per file: a place that a writer
// of the share cannot reach, so that a release signed long ago cannot come back from there.

struct NumberedRelease {
    quint64 release = 0; // 0: none
    QByteArray digest;   // of the release's bytes
};

// The highest signed release this user put into service at `target`.
NumberedRelease releaseInService(const QString& target);

// The version at `target` as the .sha256 beside it gives it, numbered as this user put those bytes
// into service (0 where the store keeps another digest or none); none where no record gives a
// digest.
std::optional<NumberedRelease> versionInService(const QString& target);

// Keeps `release` as the one in service at `target` unless a higher one is kept. Returns whether
// the store holds it.
bool keepReleaseInService(const QString& target, const NumberedRelease& release);

// The highest number this user signed for the master at `master`; 0 where none.
quint64 lastSignedRelease(const QString& master);

// Keeps `release` as the number last signed for `master` unless a higher one is kept. Returns
// whether the store holds it.
bool keepSignedRelease(const QString& master, quint64 release);

} // namespace tarsel
