#include "app/ReleaseWorkflow.h"

#include "copy/Pause.h"
#include "copy/ReleaseStamp.h"
#include "copy/TrustedKeys.h"
#include "filetime/GeneralDate.h"
#include "platform/Paths.h"
#include "sweep/WhoHolds.h"

namespace tarsel {

namespace {

// The date box's text plus a minute; not a valid date when the text is none, which the run reports
// when it comes to the stamp.
QDateTime creationDate(const QString& modifiedText) {
    try {
        return releaseStamp(CDate(modifiedText));
    } catch (const RunTimeError&) {
        return {};
    }
}

} // namespace

void ReleaseWorkflow::cmdCopy_Click() {
    if (running_)
        return;
    running_ = true;
    host_.SetEnabled(false);
    // The stamp comes from the release as it is now, not as it was when its path was entered.
    host_.refreshSourceDates();
    request_ = ReleaseRequest();
    request_.source = host_.sourceText();
    request_.target = host_.targetText();
    request_.verify = host_.verifyValue() == 1;
    request_.created = creationDate(host_.sourceModifiedText());
    request_.blockSize = host_.blockSize();
    try {
        // The administrator's keys hold for the window as for tarselcopy; a preset that cannot
        // be read lets nothing in.
        try {
            request_.trustedKeys = presetTrustedKeys();
        } catch (const RunTimeError& e) {
            throw RunFailure(RunStage::Published, e);
        }
        runRelease(request_, *this);
        succeeded();
    } catch (const RunFailure& failure) {
        failed(failure);
    }
    running_ = false;
}

void ReleaseWorkflow::phase(RunPhase phase) {
    switch (phase) {
    case RunPhase::Copying:
        host_.setLabel2(CopyingText + request_.source);
        host_.yield();
        break;
    case RunPhase::Copied:
        // Nothing is verified or in service yet: the success text waits for the run's end.
        host_.yield();
        Pause(QStringLiteral("1"), host_);
        break;
    case RunPhase::Verifying:
        Pause(QStringLiteral("1.5"), host_);
        host_.setStatusText(VerifyingText + request_.target);
        break;
    }
}

bool ReleaseWorkflow::confirmWholeFileCopy(const QString& path) {
    const QString prompt = QStringLiteral("The file '") + path +
                           QStringLiteral("' is too large for this function.\r") +
                           QStringLiteral("Would you like to perform a regular file copy?\r") +
                           QStringLiteral("(The Progress Bar will not show the file copy)");
    const int style = MsgStyle::YesNo + MsgStyle::Critical + MsgStyle::DefaultButton2;
    return host_.dialogs().msgBox(prompt, style, LargeFileTitle) == MsgAnswer::Yes;
}

void ReleaseWorkflow::succeeded() {
    host_.setLabel2(SuccessText);
    host_.SetEnabled(true);
    host_.endProgram();
}

// What the window shows of each failure: a copy that could not be made is a line in the banner, and
// the controls stay disabled; a copy that differs leaves the window usable; the rest comes with the
// error report, which also says why a release that is not as it was published was refused. The old
// version is in place in every case.
void ReleaseWorkflow::failed(const RunFailure& failure) {
    const QString fileName = platform::fileNameOf(request_.source);
    switch (failure.stage()) {
    case RunStage::WholeCopy:
        // The whole-file copy reports its own failure, then the run ends as any failed copy.
        showErrorReport(host_.dialogs(), failure, LargeFileTag);
        [[fallthrough]];
    case RunStage::Release:
    case RunStage::Target:
    case RunStage::Copy:
        host_.setLabel2(CopyErrorText + fileName);
        host_.yield();
        Pause(QStringLiteral("1"), host_);
        return;
    case RunStage::Differs:
        host_.setLabel2(VerifyFailedText);
        host_.SetEnabled(true);
        return;
    case RunStage::Verify:
        host_.setLabel2(VerifyFailedText);
        break;
    case RunStage::Replace:
    case RunStage::Published:
        host_.setLabel2(CopyErrorText + fileName);
        break;
    case RunStage::Cancel:
        return;
    case RunStage::Paths:
    case RunStage::Date:
    case RunStage::Stamp:
        break;
    }
    // A target held open: the report names who holds it, whom the user may ask to leave.
    showErrorReport(host_.dialogs(),
                    failure.stage() == RunStage::Replace
                        ? namingHolders(failure, host_.processTable(), request_.target)
                        : RunTimeError(failure),
                    CopyTag);
}

} // namespace tarsel
