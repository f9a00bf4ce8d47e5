#pragma once

#include "core/Dialogs.h"
#include "core/Yielder.h"

namespace tarsel {

// What the copy routines see of the window: the progress bar, the event loop, the dialogs, and
// whether the window is closing (a run in progress then gives up and cleans after itself).
class CopyHost : public Yielder {
public:
    virtual void setProgress(double value) = 0;
    virtual Dialogs& dialogs() = 0;
    virtual bool cancelled() const = 0;
};

} // namespace tarsel
