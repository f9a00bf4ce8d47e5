#pragma once

#include "copy/CopyHost.h"
#include "core/RunTimeError.h"

namespace tarsel {

// The stretches of a run that a face shows; the progress within them comes through setProgress.
enum class RunPhase {
    Copying,   // the release is being written into the staging file
    Copied,    // the copy is complete and its creation date known
    Verifying, // the copy is about to be read back and compared
};

// How a run reports as it goes, to the window or to tarselcopy. The outcome is the run's result, a
// failure its RunFailure.
class RunObserver : public CopyHost {
public:
    // The run enters `phase`. The face may yield and wait here; a cancel meanwhile is seen after.
    virtual void phase(RunPhase phase) = 0;
    // A step failed that the run does without once an old version was found: the run goes on.
    virtual void skipped(const RunTimeError& error) = 0;
};

} // namespace tarsel
