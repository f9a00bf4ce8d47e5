#include "copy/ReleaseRun.h"

#include "copy/ChecksumFile.h"
#include "copy/CopyWithProgress.h"
#include "copy/FileExists.h"
#include "copy/ReleaseNumbers.h"
#include "copy/ReleaseStamp.h"
#include "copy/SignedRelease.h"
#include "copy/ValidateFile.h"
#include "copy/VersionRecords.h"
#include "filetime/FileDateKind.h"
#include "filetime/FileTimeRecords.h"
#include "filetime/PutFileDate.h"
#include "platform/Checksum.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Paths.h"
#include "platform/ReadOnlyGuard.h"
#include "platform/SettingsStore.h"
#include "platform/StagingFile.h"

#include <QLocale>

#include <algorithm>
#include <optional>
#include <vector>

namespace tarsel {

namespace {

RunFailure cancelled() {
    return RunFailure(RunStage::Cancel, userInterrupt());
}

class Run : public Yielder {
public:
    Run(const ReleaseRequest& request, RunObserver& observer)
        : request_(request), observer_(observer) {}

    void yield() override {
        observer_.yield();
        stopIfCancelled();
    }

    RunResult execute();

private:
    void stopIfCancelled() const {
        if (observer_.cancelled())
            throw cancelled();
    }

    void enter(RunPhase phase) {
        observer_.phase(phase);
        stopIfCancelled();
    }

    // Once an old version was found, a step that the run can do without is skipped when it fails;
    // before that it ends the run.
    template <class Step> void step(RunStage stage, Step&& body) {
        try {
            body();
        } catch (const RunTimeError& e) {
            if (!continueOnFailure_)
                throw RunFailure(stage, e);
            observer_.skipped(e);
        }
    }

    template <class Step> static void at(RunStage stage, Step&& body) {
        try {
            body();
        } catch (const RunFailure&) {
            throw;
        } catch (const RunTimeError& e) {
            throw RunFailure(stage, e);
        }
    }

    void copyToStaging();
    RunTimeError withLeftovers(const RunTimeError& error) const;
    void verify();
    QByteArray digestOfRelease();
    void stopIfChanged() const;
    void checkAsPublished() const;
    void putIntoService();

    const ReleaseRequest& request_;
    RunObserver& observer_;
    bool continueOnFailure_ = false;
    // The release as the run opened it: copied and verified against, whatever becomes of its
    // name meanwhile.
    std::optional<platform::OpenFile> release_;
    std::optional<platform::StagingFile> staging_;
    std::optional<platform::ReadOnlyGuard> readOnly_;
    std::optional<QDateTime> created_;
    FileTimeRecords records_;
    platform::FileState opened_;          // the release when it was opened
    std::optional<QByteArray> published_; // what its .sha256 publishes, where it has one
    std::optional<SignedRelease> signed_; // how its publisher signed it, where keys are trusted
    QByteArray digest_;                   // of the release's bytes as the run verified them
    QString createdFolder_;
    quint64 signedRelease_ = 0; // the signed release now in service
};

void Run::copyToStaging() {
    const QString& target = request_.target;
    at(RunStage::Release, [&] {
        release_.emplace(platform::openForReading(request_.source));
        opened_ = platform::stateOf(*release_);
        if (request_.refuseEmpty && opened_.length == 0)
            throw RunTimeError(ErrorKind::ReleaseEmpty,
                               QStringLiteral("The new release is empty: ") + request_.source);
    });
    // Read with the release it publishes, and as it was when the run opened it: a master renamed
    // over or removed meanwhile is still the release whose digest the checksum gives.
    at(RunStage::Published, [&] {
        // A publish signs what it takes from the build; a desk takes only what was signed.
        if (request_.trustedKeys.isEmpty() || request_.signKey) {
            published_ = readPublishedChecksum(request_.source, opened_.changed);
            return;
        }
        signed_ = readSignedRelease(request_.source, opened_.changed, request_.trustedKeys);
        refuseIfOlder(request_.source, *signed_, target);
        published_ = signed_->digest;
    });
    // A target must name a file: an empty text or a folder path has no name to put the release
    // under.
    if (target.isEmpty() || platform::fileNameOf(target).isEmpty() ||
        platform::isNonFileEntry(target))
        throw RunFailure(RunStage::Target, RunTimeError(ErrorKind::PathFileAccess,
                                                        QStringLiteral("Not a file name: '") +
                                                            target + QStringLiteral("'")));
    at(RunStage::Target, [&] {
        if (request_.createFolder && platform::lastSeparator(target) > 0)
            createdFolder_ =
                platform::createMissingFolders(target.left(platform::lastSeparator(target)));
        platform::removeOrphanedStagingFiles(target);
        try {
            staging_.emplace(target, platform::lengthOf(*release_), this);
        } catch (const RunTimeError& e) {
            // No room for the copy is the copy's failure, not the target's.
            if (e.kind() == ErrorKind::DiskFull)
                throw RunFailure(RunStage::Copy, withLeftovers(e));
            throw;
        }
    });
    try {
        CopyWithProgress(*release_, staging_->file(), request_.blockSize, observer_);
    } catch (const RunFailure& failure) {
        stopIfChanged();
        staging_.reset();
        throw RunFailure(failure.stage(), withLeftovers(failure));
    } catch (const RunTimeError& e) {
        if (e.kind() == ErrorKind::UserInterrupt)
            throw cancelled();
        // A release cut short under the copy is one being published, not a failed copy.
        stopIfChanged();
        staging_.reset();
        throw RunFailure(RunStage::Copy, withLeftovers(e));
    }
}

// A publisher who overwrites the release in place leaves it half old, half new, for as long as
// the copy takes: whatever the run read of it then is no release.
void Run::stopIfChanged() const {
    platform::FileState now;
    at(RunStage::Published, [&] { now = platform::stateOf(*release_); });
    if (now != opened_)
        throw RunFailure(RunStage::Published,
                         RunTimeError(ErrorKind::ReleaseChanged,
                                      QStringLiteral("The new release changed while it was "
                                                     "copied: %1. It is being published; the "
                                                     "next run takes it once it is complete.")
                                          .arg(request_.source)));
}

// The release the run copied and verified is the one its publisher meant: with the digest its
// .sha256 publishes, whatever became of its name meanwhile (a publisher renaming the next release
// over it changes its change time, not its bytes); without a .sha256, unchanged since it was
// opened.
void Run::checkAsPublished() const {
    if (published_ && *published_ == digest_)
        return;
    stopIfChanged();
    if (published_) {
        const QString checksum = checksumPathFor(request_.source);
        throw RunFailure(
            RunStage::Published,
            RunTimeError(ErrorKind::ChecksumDiffers,
                         QStringLiteral("The new release does not match its published checksum: "
                                        "%1 is not what %2 publishes. It is being published, or "
                                        "it was replaced without its checksum: publish it with "
                                        "tarselcopy or TarselCopyFile, or delete the stale %3.")
                             .arg(request_.source, checksum, platform::fileNameOf(checksum))));
    }
}

// Without a verification, the release is read once more for its digest alone.
QByteArray Run::digestOfRelease() {
    platform::Sha256 digest;
    std::vector<char> block(size_t(std::max<qint32>(request_.blockSize, 1)));
    for (qint64 at = 0;;) {
        const qint64 read = platform::readAt(*release_, block.data(), qint64(block.size()), at);
        digest.add(block.data(), read);
        if (read < qint64(block.size()))
            return digest.finish();
        at += read;
        yield();
    }
}

// A run killed mid-copy leaves its staging file with the whole release's room reserved, which may
// be what fills the disk until the age rule lets a later run remove it: a full disk says so.
RunTimeError Run::withLeftovers(const RunTimeError& error) const {
    if (error.kind() != ErrorKind::DiskFull)
        return error;
    QString text = error.description();
    const QDateTime now = QDateTime::currentDateTime();
    for (const platform::StagingLeftover& left : platform::stagingLeftovers(request_.target)) {
        text += QStringLiteral("; %1 beside it, left by a run that was stopped, holds %2")
                    .arg(left.name, QLocale::c().formattedDataSize(left.bytesOnDisk, 1,
                                                                   QLocale::DataSizeSIFormat));
        text += left.removableFrom > now
                    ? QStringLiteral(" and is removed by the first run from %1 on")
                          .arg(left.removableFrom.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                    : QStringLiteral(" and is still held by a run, or belongs to another user");
    }
    return error.withDescription(text);
}

// Reads the copy back as storage holds it and compares it with the release. A verification that
// could not be made never reads as a success.
void Run::verify() {
    bool same = false;
    std::optional<platform::Sha256> digest;
    try {
        digest.emplace();
        platform::StoredCopy copy = staging_->readBack(*this);
        same = ValidateFile(*release_, copy, request_.blockSize, observer_, &*digest);
    } catch (const RunFailure&) {
        throw;
    } catch (const RunTimeError& e) {
        stopIfChanged();
        // A full disk may show only when the copy is flushed (NFS, SMB, quotas): the copy failed.
        if (e.kind() == ErrorKind::DiskFull) {
            staging_.reset();
            throw RunFailure(RunStage::Copy, withLeftovers(e));
        }
        throw RunFailure(continueOnFailure_ ? RunStage::Differs : RunStage::Verify, e);
    }
    stopIfCancelled();
    if (!same) {
        stopIfChanged();
        throw RunFailure(RunStage::Differs,
                         RunTimeError(ErrorKind::CopyDiffers,
                                      QStringLiteral("The copy differs from the new release ") +
                                          request_.source));
    }
    at(RunStage::Verify, [&] { digest_ = digest->finish(); });
}

// The one step that changes what users run: the verified file replaces the old one at once. The
// old one's read-only attribute is cleared only for this moment, so a run killed earlier leaves
// it as it was. The old version's records go aside just before, so that none stays beside the new
// version, and come back where the swap fails.
void Run::putIntoService() {
    step(RunStage::Replace, [&] { readOnly_.emplace(request_.target); });
    std::optional<OldRecords> oldRecords;
    std::optional<RunTimeError> rightsNotKept;
    at(RunStage::Replace, [&] {
        oldRecords.emplace(request_.target);
        rightsNotKept = staging_->commit(*this);
    });
    readOnly_.reset();
    if (rightsNotKept)
        observer_.skipped(*rightsNotKept);
    // The verified release is in service: from here on a failure is the face's to hear of, and the
    // yields no longer stop the run.
    // Stamped only once the file has its final name: Windows gives a file that takes a name
    // vacated moments before the old file's creation time, which would undo an earlier stamp.
    std::optional<RunTimeError> stampFailed;
    bool stamped = false;
    if (created_) {
        try {
            stamped = PutFileDate(records_, staging_->openPath(), FileDateKind::Created, *created_)
                          .value_or(0) != 0;
        } catch (const RunTimeError& e) {
            stampFailed = e;
        }
    }
    // The records come last: whatever changes the file changes its change time (the stamp, and on
    // Windows and SMB the close of a handle that wrote), and a release's record counts only where
    // it is newer than that.
    const platform::FileIdHold version(staging_->file());
    staging_.reset();
    bool recorded = false;
    try {
        recorded = writeRecords(request_.target, version, digest_, observer_,
                                request_.signKey.get(), request_.signRelease);
        if (recorded && request_.signKey)
            signedRelease_ = request_.signRelease;
    } catch (const RunTimeError& e) {
        observer_.skipped(e.withDescription(
            (request_.signKey
                 ? QStringLiteral("The checksum and its signature were not both written beside "
                                  "the new version: ")
                 : QStringLiteral("The checksum was not written beside the new version: ")) +
            e.description()));
    }
    oldRecords.reset();
    if (signed_) {
        signedRelease_ = signed_->release;
        if (!keepReleaseInService(request_.target, {signed_->release, digest_}))
            observer_.skipped(RunTimeError(
                ErrorKind::PathFileAccess,
                QStringLiteral("Release %1 was not kept as the one in service at %2 in this "
                               "user's settings (%3): an older signed release would be taken")
                    .arg(signed_->release)
                    .arg(request_.target, platform::settingsStorePath())));
    }
    // A file system that keeps no creation date stamps nothing, and the run still succeeded; the
    // face hears of it, unless the checksums tell a later run that this version is current.
    if (stampFailed)
        step(RunStage::Stamp, [&] { throw *stampFailed; });
    else if (created_ && !stamped && !(published_ && recorded))
        observer_.skipped(RunTimeError(
            ErrorKind::PathFileAccess,
            QStringLiteral("The creation date could not be given to %1, so --if-changed "
                           "cannot tell from it that this version is current. Publish "
                           "the release with its checksum (put it on the master with "
                           "tarselcopy or TarselCopyFile, which write NAME.sha256 beside "
                           "it): --if-changed then decides by the checksums.")
                .arg(request_.target)));
}

RunResult Run::execute() {
    if (platform::sameFile(request_.source, request_.target))
        throw RunFailure(RunStage::Paths,
                         RunTimeError(ErrorKind::PathFileAccess,
                                      QStringLiteral("The new release and the current version "
                                                     "are the same file: ") +
                                          request_.target));
    continueOnFailure_ = FileExists(request_.target);

    enter(RunPhase::Copying);
    copyToStaging();
    step(RunStage::Date, [&] {
        const QDateTime stamp = request_.created ? *request_.created : releaseStampOf(*release_);
        if (!stamp.isValid())
            throw typeMismatch();
        created_ = stamp;
    });
    enter(RunPhase::Copied);

    // Every release is verified before it goes into service, whatever its length.
    if (request_.verify) {
        enter(RunPhase::Verifying);
        verify();
    } else {
        at(RunStage::Verify, [&] { digest_ = digestOfRelease(); });
    }
    checkAsPublished();
    if (request_.beforeSwap)
        at(RunStage::Replace, [&] {
            try {
                request_.beforeSwap(*this);
            } catch (const RunTimeError& e) {
                if (e.kind() == ErrorKind::UserInterrupt)
                    throw cancelled();
                throw;
            }
        });
    putIntoService();
    return RunResult{opened_.length, digest_, signedRelease_, createdFolder_};
}

} // namespace

RunResult runRelease(const ReleaseRequest& request, RunObserver& observer) {
    try {
        return Run(request, observer).execute();
    } catch (const RunFailure& failure) {
        // A cancel can also surface as the failure of a call it interrupted: it was a cancel.
        if (failure.stage() != RunStage::Cancel && observer.cancelled())
            throw cancelled();
        throw;
    }
}

} // namespace tarsel
