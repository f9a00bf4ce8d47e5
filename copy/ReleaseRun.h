#pragma once

#include "copy/ReleaseRequest.h"
#include "copy/RunFailure.h"
#include "copy/RunObserver.h"

namespace tarsel {

struct RunResult {
    qint64 bytes = 0; // the length of the release now in service
};

// One release run: the new release is written into a staging file beside the target, verified as
// storage holds it, given the old version's rights and moved over the target in one rename, then
// stamped with its creation date. Any failure before the rename leaves the old version exactly as
// it was and no staging file. Throws RunFailure.
RunResult runRelease(const ReleaseRequest& request, RunObserver& observer);

} // namespace tarsel
