#pragma once

#include "copy/ReleaseRequest.h"
#include "copy/RunFailure.h"
#include "copy/RunObserver.h"

namespace tarsel {

struct RunResult {
    qint64 bytes = 0;      // the length of the release now in service
    QByteArray digest;     // its SHA-256, of the bytes verified
    quint64 release = 0;   // its signed release number: taken, or signed by this run; 0 for none
    QString createdFolder; // the outermost folder the run made for the target, if any
};

// One release run: the new release is written into a staging file beside the target, verified as
// storage holds it, given the old version's rights and moved over the target in one rename, then
// stamped with its creation date; what the request clears out of the way goes just before the
// rename. The release is taken only as it was published: where a NAME.sha256 written since the
// release last changed lies beside it, with the bytes that checksum publishes, whatever became of
// the release's name meanwhile; without one, unchanged while the run copies and verifies it
// (length, modification and change time, from the handle the run holds). The old version's records
// (VersionRecords.h) go with it; the digest of the verified bytes is written beside the new version
// as TARGET.sha256, a warning when it cannot be; a publish that signs writes TARGET.sha256.minisig
// after it. With trusted keys the release is taken only as its publisher signed it
// (SignedRelease.h), and its number is kept as the one in service. Any failure before the rename
// leaves the old version exactly as it was, its records too, and no staging file. Throws
// RunFailure.
RunResult runRelease(const ReleaseRequest& request, RunObserver& observer);

} // namespace tarsel
