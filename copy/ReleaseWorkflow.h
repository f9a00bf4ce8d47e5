#pragma once

#include "copy/ReleaseHost.h"

namespace tarsel {

inline const QString CopyingText = QStringLiteral("Copying: ");
inline const QString CopyErrorText = QStringLiteral("Error Copying: ");
inline const QString SuccessText =
    QStringLiteral("File Copy and Verify Successful! ........ goodbye!");
inline const QString VerifyFailedText =
    QStringLiteral("File Failed Verification!!! Contact Quillmoor for Support.");
inline const QString VerifyingText = QStringLiteral("Verifying: ");
inline const QString CopyTag = QStringLiteral("(cmdCopy_Click) of (frmCopyRoutine).");

// The Copy button's run: puts the new release in place of the current one. The new release is
// written beside the target and moved over it only once it is complete and verified, so that any
// failure leaves the current version exactly as it was.
class ReleaseWorkflow {
public:
    explicit ReleaseWorkflow(ReleaseHost& host) : host_(host) {}

    // One run. A call while a run is in progress does nothing.
    void cmdCopy_Click();

    bool running() const { return running_; }

private:
    ReleaseHost& host_;
    bool running_ = false;
};

} // namespace tarsel
