#pragma once

#include "copy/Minisign.h"

#include <QList>
#include <QString>

namespace tarsel {

// True when the file at `target` already is the release at `source` as a run leaves it, both
// regular files: where the release's .sha256 (written since the release last changed) and the
// target's both give a digest, the same digest; otherwise the same length and a creation date
// that is the release's modification date plus one minute. Reads the two files' directory entries
// and their .sha256 files only, never their bytes: Access writes into a front end as it is used,
// so its bytes and its length cannot be the test.
// With trusted keys, only the digest that the release's signature covers (SignedRelease.h) counts:
// current only where it is the target's.
bool AlreadyInService(const QString& source, const QString& target,
                      const QList<minisign::PublicKey>& trusted = {});

} // namespace tarsel
