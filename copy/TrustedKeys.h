#pragma once

#include "copy/Minisign.h"

#include <QList>
#include <QStringList>

namespace tarsel {

// The keys whose signatures a release must carry: where any are given, only a release signed by
// one of them is taken.

// The keys given on a command line, each a public key line ("RW...") or a public key file as
// `minisign -G` writes it. Throws RunTimeError (ErrorKind::BadKey) naming the one that is neither.
QList<minisign::PublicKey> readTrustedKeys(const QStringList& given);

// The keys the administrator presets (TrustedKeys, RegistryKeys.h): public key lines separated by
// blanks. Throws RunTimeError (ErrorKind::BadKey) for a preset that holds anything else: a preset
// that cannot be read never lets an unsigned release in.
QList<minisign::PublicKey> presetTrustedKeys();

// The keys given, else the preset ones.
QList<minisign::PublicKey> trustedKeys(const QStringList& given);

} // namespace tarsel
