#pragma once

#include "app/Dialogs.h"
#include "core/Yielder.h"
#include "platform/ProcessTable.h"

#include <QString>

namespace tarsel {

// What the window shows of a release run: the controls that the run reads when it starts and
// writes as it goes, its event loop, its dialogs, and whether it is closing.
class ReleaseHost : public Yielder {
public:
    virtual void setProgress(double value) = 0; // ProgressBar1
    virtual Dialogs& dialogs() = 0;
    // The window is closing: a run in progress gives up and cleans after itself.
    virtual bool cancelled() const = 0;
    virtual QString sourceText() const = 0;         // txtSource
    virtual QString targetText() const = 0;         // txtTarget
    virtual QString sourceModifiedText() const = 0; // SourceModifiedDate
    // Fills the source's date boxes again from the release as it is now.
    virtual void refreshSourceDates() = 0;
    virtual int verifyValue() const = 0; // chkVerify: 1 when ticked
    virtual qint32 blockSize() const = 0;
    virtual void setLabel2(const QString& text) = 0;
    virtual void setStatusText(const QString& text) = 0; // lblStatus
    virtual void SetEnabled(bool enabled) = 0;
    // Ends the program at once: no further event of the window is handled.
    virtual void endProgram() = 0;
    // The processes of this computer, to name who holds a target that cannot be replaced.
    virtual platform::ProcessTable& processTable() = 0;
};

} // namespace tarsel
