#pragma once

#include "core/RunTimeError.h"

namespace tarsel {

// Where a run stopped. Every stage but Stamp leaves the old version as it was.
enum class RunStage {
    Paths,     // the release and the target are the same file
    Release,   // the release cannot be read, or is empty where it must not be
    Published, // the release is not as it was published: it changed while it was copied, it
               // differs from its .sha256, or that .sha256 gives no checksum
    Target,    // no staging file can be made beside the target
    Copy,      // reading or writing failed during the copy
    WholeCopy, // the whole-file copy of a release of 2 GiB or more failed
    Date,      // the creation date to give is not a date
    Verify,    // the verification could not be made
    Differs,   // the copy is not the release (or, once an old version was found, could not be
               // checked)
    Replace,   // the verified copy cannot be moved over the old version
    Stamp,     // the new version is in service, but its creation date could not be given
    Cancel,    // the face asked the run to stop
};

// A run's failure: the run-time error that stopped it and where.
class RunFailure : public RunTimeError {
public:
    RunFailure(RunStage stage, const RunTimeError& error) : RunTimeError(error), stage_(stage) {}

    RunStage stage() const { return stage_; }

private:
    RunStage stage_;
};

} // namespace tarsel
