#include "copy/ReleaseWorkflow.h"

#include "copy/CopyWithProgress.h"
#include "copy/FileExists.h"
#include "copy/Pause.h"
#include "copy/ValidateFile.h"
#include "filetime/FileDateKind.h"
#include "filetime/GeneralDate.h"
#include "filetime/PutFileDate.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/ReadOnlyGuard.h"
#include "platform/StagingFile.h"

#include <optional>

namespace tarsel {

namespace {

// The window closed during one of the run's yields.
struct Cancelled {};

class Run : public Yielder {
public:
    explicit Run(ReleaseHost& host) : host_(host) {}

    void yield() override {
        host_.yield();
        if (host_.cancelled())
            throw Cancelled{};
    }

    // Once an old target was found, a failing step is skipped without a word; before that it ends
    // the run with the error report.
    template <class Step> bool step(Step&& body) {
        try {
            body();
            return true;
        } catch (const RunTimeError&) {
            if (!continueOnFailure_)
                throw;
            return false;
        }
    }

    void execute();

private:
    bool copyToStaging(const QString& source, const QString& target);
    bool verify(const QString& target);
    void putIntoService(const QString& target, const QString& fileName);

    ReleaseHost& host_;
    bool continueOnFailure_ = false;
    // The release as the run opened it: copied and verified against, whatever becomes of its
    // name meanwhile.
    std::optional<platform::OpenFile> release_;
    std::optional<platform::StagingFile> staging_;
    std::optional<platform::ReadOnlyGuard> readOnly_;
    std::optional<QDateTime> created_; // the creation date the new release is given
};

bool Run::copyToStaging(const QString& source, const QString& target) {
    // A target must name a file: an empty text or a folder path has no name to put the release
    // under.
    if (target.isEmpty() || platform::lastSeparator(target) == target.size() - 1 ||
        platform::isNonFileEntry(target))
        return false;
    try {
        release_.emplace(platform::openForReading(source));
        platform::removeOrphanedStagingFiles(target);
        staging_.emplace(target, platform::lengthOf(*release_));
    } catch (const RunTimeError&) {
        return false;
    }
    return !CopyWithProgress(*release_, staging_->file(), host_.blockSize(), host_);
}

// Reads the copy back as storage holds it and compares it with the release. A verification that
// could not be made never reads as a success.
bool Run::verify(const QString& target) {
    Pause(QStringLiteral("1.5"), *this);
    host_.setStatusText(VerifyingText + target);
    bool verified = false;
    try {
        const platform::OpenFile copy = staging_->readBack(*this);
        verified = ValidateFile(*release_, copy, host_.blockSize(), host_);
    } catch (const RunTimeError&) {
        host_.setLabel2(VerifyFailedText);
        if (!continueOnFailure_)
            throw;
    }
    if (host_.cancelled())
        throw Cancelled{};
    return verified;
}

// The one step that changes what users run: the verified file replaces the old one at once. The
// old one's read-only attribute is cleared only for this moment, so a run killed earlier leaves
// it as it was.
void Run::putIntoService(const QString& target, const QString& fileName) {
    try {
        step([&] { readOnly_.emplace(target); });
        staging_->commit(*this);
    } catch (const RunTimeError&) {
        host_.setLabel2(CopyErrorText + fileName);
        throw;
    }
    if (readOnly_)
        readOnly_->dismiss();
    // Stamped only once the file has its final name: Windows gives a file that takes a name
    // vacated moments before the old file's creation time, which would undo an earlier stamp.
    if (created_)
        step([&] {
            PutFileDate(host_.fileTimes(), staging_->openPath(), FileDateKind::Created, *created_);
        });
}

void Run::execute() {
    host_.SetEnabled(false);
    // The stamp comes from the release as it is now, not as it was when its path was entered.
    host_.refreshSourceDates();
    const QString source = host_.sourceText();
    const qsizetype namePosition = platform::lastSeparator(source) + 1;
    const QString target = host_.targetText();
    if (platform::sameFile(source, target))
        throw RunTimeError(ErrNo::PathFileAccess,
                           QStringLiteral("The new release and the current version are the same "
                                          "file: ") +
                               target);
    if (FileExists(target))
        continueOnFailure_ = true;

    host_.setLabel2(CopyingText + source);
    yield();

    const bool copyFailed = !copyToStaging(source, target);
    if (host_.cancelled())
        throw Cancelled{};
    const QString fileName = host_.sourceText().mid(namePosition);
    if (copyFailed) {
        host_.setLabel2(CopyErrorText + fileName);
    } else {
        step([&] { created_ = CDate(host_.sourceModifiedText()).addSecs(60); });
        host_.setLabel2(SuccessText);
    }
    yield();
    Pause(QStringLiteral("1"), *this);
    if (copyFailed)
        return;

    // Every release is verified before it goes into service, whatever its length.
    const bool verified = host_.verifyValue() != 1 || verify(target);
    if (verified) {
        putIntoService(target, fileName);
        host_.setLabel2(SuccessText);
    } else {
        host_.setLabel2(VerifyFailedText);
    }
    host_.SetEnabled(true);
    // A failed verification stays on screen with the old version in place; only a release that is
    // in service ends the program.
    if (verified)
        host_.endProgram();
}

} // namespace

void ReleaseWorkflow::cmdCopy_Click() {
    if (running_)
        return;
    running_ = true;
    try {
        Run(host_).execute();
    } catch (const RunTimeError& e) {
        showErrorReport(host_.dialogs(), e, CopyTag);
    } catch (const Cancelled&) {
    }
    running_ = false;
}

} // namespace tarsel
