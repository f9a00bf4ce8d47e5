#pragma once

#include "copy/RunFailure.h"
#include "platform/Files.h"

#include <QString>

#include <optional>

namespace tarsel::console {

// Whether a run that failed so may pass when tried again a little later: a release being
// published or not reachable yet (the share at logon), a target held, a read or a verification
// that failed. What stays as it is does not: the same file twice, a release not signed as it must
// be or older than the one in service, a checksum file that cannot be read, an empty release, a
// full disk, a cancel.
bool mayPass(const RunFailure& failure);

// The wait after try number `tries`: `seconds`, half as long again with each try, at most an hour,
// give or take a quarter at random so that desks refused together do not come back together.
qint64 retryWaitMs(double seconds, int tries);

// The master's release and its .sha256 as they are now: a checksum that differs from its release
// stays so until one of them changes.
struct MasterState {
    std::optional<platform::FileState> release;
    std::optional<platform::FileState> checksum;
    bool operator==(const MasterState&) const = default;
};
MasterState masterState(const QString& source);

} // namespace tarsel::console
