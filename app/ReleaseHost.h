#pragma once

#include "copy/CopyHost.h"

#include <QString>

namespace tarsel {

// What the window shows of a release run besides the copy's own needs: the controls that the run
// reads when it starts and writes as it goes.
class ReleaseHost : public CopyHost {
public:
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
};

} // namespace tarsel
