#pragma once

#include "app/ReleaseHost.h"
#include "copy/ReleaseRun.h"

namespace tarsel {

inline const QString CopyingText = QStringLiteral("Copying: ");
inline const QString CopyErrorText = QStringLiteral("Error Copying: ");
inline const QString SuccessText =
    QStringLiteral("File Copy and Verify Successful! ........ goodbye!");
inline const QString VerifyFailedText =
    QStringLiteral("File Failed Verification!!! Contact Quillmoor for Support.");
inline const QString VerifyingText = QStringLiteral("Verifying: ");
inline const QString CopyTag = QStringLiteral("(cmdCopy_Click) of (frmCopyRoutine).");
inline const QString LargeFileTag = QStringLiteral("(ALargeFile) of (frmCopyRoutine).");
inline const QString LargeFileTitle = QStringLiteral("F I L E    T O O    L A R G E");

// The Copy button's run as the window shows it: takes the paths and the date from the controls when
// pressed, hands them to the release run, and puts what the run reports into the banner, the
// status label and the progress bar, with the pauses that let a user read them.
class ReleaseWorkflow : private RunObserver {
public:
    explicit ReleaseWorkflow(ReleaseHost& host) : host_(host) {}

    // One run. A call while a run is in progress does nothing.
    void cmdCopy_Click();

    bool running() const { return running_; }

private:
    void phase(RunPhase phase) override;
    // Once an old version was found, a failing step is skipped without a word.
    void skipped(const RunTimeError&) override {}
    void setProgress(double value) override { host_.setProgress(value); }
    void yield() override { host_.yield(); }
    // Asks the user, Yes or No with No the default, under the critical icon.
    bool confirmWholeFileCopy(const QString& path) override;
    bool cancelled() const override { return host_.cancelled(); }

    void succeeded();
    void failed(const RunFailure& failure);

    ReleaseHost& host_;
    ReleaseRequest request_;
    bool running_ = false;
};

} // namespace tarsel
