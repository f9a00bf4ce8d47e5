#pragma once

#include "copy/Minisign.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarsel {

// A release as its publisher signed it: NAME.sha256 beside it, signed in NAME.sha256.minisig by a
// trusted key, the trusted comment naming the release's file and its number.
struct SignedRelease {
    QByteArray digest; // of the release's bytes, as the signed .sha256 gives it
    quint64 release = 0;
    minisign::KeyId key = 0;
};

// The signed release at `release`, whose change time was `releaseChanged` when it was opened: its
// .sha256 read once, and the bytes read are the ones both checked against the signature and taken
// for the digest. Throws RunTimeError naming the release, each refusal of its own kind and text:
// ReleaseNotSigned (no .sha256 or no signature), KeyNotTrusted (with the key id),
// SignatureDiffers (the .sha256 or the trusted comment altered, or the file signed for another
// name), BadSignatureFile (a signature file minisign would not read, or a trusted comment that
// claims no release), and what reading the .sha256 throws.
SignedRelease readSignedRelease(const QString& release, qint64 releaseChanged,
                                const QList<minisign::PublicKey>& trusted);

// Refuses (ErrorKind::ReleaseOlder) a release numbered lower than the one this user put into
// service at `target`, or numbered as it with other bytes.
void refuseIfOlder(const QString& release, const SignedRelease& signedRelease,
                   const QString& target);

} // namespace tarsel
