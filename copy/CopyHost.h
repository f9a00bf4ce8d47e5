#pragma once

#include "core/Yielder.h"

#include <QString>

namespace tarsel {

// What the copy routines see of a face: the progress bar, the event loop, the one question a copy
// asks, and whether the face is closing (a run in progress then gives up and cleans after itself).
class CopyHost : public Yielder {
public:
    virtual void setProgress(double value) = 0;
    // Whether the release at `path`, of 2 GiB or more, may be copied in one piece, without
    // progress.
    virtual bool confirmWholeFileCopy(const QString& path) = 0;
    virtual bool cancelled() const = 0;
};

} // namespace tarsel
