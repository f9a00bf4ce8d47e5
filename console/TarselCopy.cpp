#include "console/TarselCopy.h"

#include "console/Check.h"
#include "console/ConsoleFace.h"
#include "console/ExitCode.h"
#include "console/LogPlace.h"
#include "console/Retry.h"
#include "console/RunEvent.h"
#include "console/RunLog.h"
#include "console/SignPublish.h"
#include "console/Wait.h"
#include "copy/AlreadyInService.h"
#include "copy/ReleaseNumbers.h"
#include "copy/ReleaseRun.h"
#include "copy/TrustedKeys.h"
#include "core/Printable.h"
#include "platform/AppendLog.h"
#include "platform/Console.h"
#include "platform/Opener.h"
#include "platform/StagingFile.h"
#include "sweep/EndAccess.h"
#include "sweep/WhoHolds.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>
#include <optional>

namespace tarsel::console {

namespace {

// As long as the window leaves an Access that was asked to close before it ends it.
constexpr qint64 AccessGraceMs = 5000;

// One line: the names in it come from other people (paths, process names), and are shown escaped.
void say(std::FILE* stream, const QString& text) {
    std::fputs((printable(text) + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// "asked MSACCESS.EXE (pid 1234) to close", "ended MSACCESS.EXE (pid 1234)": what a help desk
// reads when someone's Access closed by itself.
QString accessLine(AccessStep step, const platform::ProcessEntry& process) {
    const QString who = printable(process.name) + QStringLiteral(" (pid ") +
                        QString::number(process.pid) + QLatin1Char(')');
    return step == AccessStep::AskedToClose
               ? QStringLiteral("asked ") + who + QStringLiteral(" to close")
               : QStringLiteral("ended ") + who;
}

// Ends the Access processes that hold the target, once the copy is verified. A table that cannot
// be read is a warning: a target that Access still holds is reported by the swap itself.
void endAccess(const QString& target, ConsoleFace& face, Yielder& yielder) {
    try {
        endAccessProcesses(*platform::systemProcessTable(), target, yielder, AccessGraceMs,
                           platform::interrupted,
                           [&face](AccessStep step, const platform::ProcessEntry& process) {
                               face.tell(accessLine(step, process));
                           });
    } catch (const RunTimeError& e) {
        if (e.kind() == ErrorKind::UserInterrupt)
            throw;
        face.skipped(e);
    }
}

// What a run needs besides its paths: the keys it trusts, and how a publish signs.
struct Keys {
    QList<minisign::PublicKey> trusted;
    std::optional<PublishSigning> signing;
};

RunRecord startRecord(const Options& options) {
    RunRecord record;
    record.when = QDateTime::currentDateTime();
    record.user = platform::userName();
    record.computer = QSysInfo::machineHostName();
    record.source = options.source;
    record.target = options.target;
    return record;
}

// "after 3 tries", for a run tried more than once.
QString triesText(const RunRecord& record) {
    return QStringLiteral("after %1 tries").arg(record.tries);
}

// Runs the release run and fills the record with how it went; returns the failure, if any, and
// its error line as standard error has it.
std::optional<RunFailure> update(const Options& options, const Keys& keys, RunRecord& record,
                                 QString& line) {
    ConsoleFace face(QFileInfo(options.source).size(),
                     !options.quiet && platform::stderrIsTerminal());
    ReleaseRequest request;
    request.source = options.source;
    request.target = options.target;
    request.refuseEmpty = true;
    request.trustedKeys = keys.trusted;
    if (keys.signing) {
        request.signKey = keys.signing->key;
        request.signRelease = keys.signing->release;
    }
    request.createFolder = true;
    if (options.endAccess)
        request.beforeSwap = [&](Yielder& yielder) { endAccess(options.target, face, yielder); };
    try {
        const RunResult result = runRelease(request, face);
        record.bytes = result.bytes;
        record.digest = result.digest;
        record.release = result.release;
        if (keys.signing && result.release != 0 &&
            !keepSignedRelease(options.target, result.release))
            face.skipped(RunTimeError(
                ErrorKind::PathFileAccess,
                QStringLiteral("Release %1 was not kept as the last one signed for %2 in this "
                               "user's settings: give the next one with --release")
                    .arg(result.release)
                    .arg(options.target)));
        record.outcome = Outcome::Updated;
        if (!result.createdFolder.isEmpty())
            face.tell(QStringLiteral("created the folder ") + result.createdFolder);
        record.createdFolder = result.createdFolder;
        // What the run did without (the checksum beside the new version, its creation date) is
        // the log's to keep as well.
        record.error = face.notes().join(QStringLiteral("; "));
        return std::nullopt;
    } catch (const RunFailure& failure) {
        face.clearLine();
        record.exitCode = exitCodeFor(failure.stage());
        // A target that cannot be replaced names who holds it: whom to ask to leave.
        record.error =
            errorLine(failure.stage() == RunStage::Replace
                          ? namingHolders(failure, *platform::systemProcessTable(), options.target)
                          : RunTimeError(failure));
        say(stderr, QStringLiteral("tarselcopy: ") + record.error);
        if (record.exitCode == ExitCode::Ok) {
            record.outcome = Outcome::Updated;
            record.error = (QStringList(face.notes()) << record.error).join(QStringLiteral("; "));
            return std::nullopt;
        }
        line = record.error;
        record.outcome = failure.stage() == RunStage::Cancel ? Outcome::Cancelled : Outcome::Failed;
        // The error first, as every failed run's field has it; then what the run did before.
        record.error = (QStringList(record.error) << face.notes()).join(QStringLiteral("; "));
        return failure;
    }
}

// A run cancelled: in a wait, or at a password prompt.
void markCancelled(RunRecord& record) {
    record.exitCode = ExitCode::Cancelled;
    record.error = errorLine(userInterrupt());
    record.outcome = Outcome::Cancelled;
    say(stderr, QStringLiteral("tarselcopy: ") + record.error);
}

// The run, tried again while it fails for a reason that may pass and tries are left; the old
// version stays whole between tries, as every failed try leaves it. Returns the error line of the
// last try where it failed, empty otherwise.
QString updateWithRetries(const Options& options, const Keys& keys, RunRecord& record) {
    for (;;) {
        // Access is ended only for a copy: a current target keeps everyone at work.
        if (options.ifChanged && AlreadyInService(options.source, options.target, keys.trusted)) {
            record.outcome = Outcome::Current;
            return QString();
        }
        QString line;
        const std::optional<RunFailure> failure = update(options, keys, record, line);
        if (!failure || record.tries > options.retries || !mayPass(*failure))
            return line;
        const MasterState master = masterState(options.source);
        const qint64 waitMs = retryWaitMs(options.retrySeconds, record.tries);
        say(stderr, QStringLiteral("tarselcopy: trying again in %1 s (try %2 of %3)")
                        .arg(double(waitMs) / 1000.0, 0, 'f', 1)
                        .arg(record.tries + 1)
                        .arg(options.retries + 1));
        if (!waitUnlessInterrupted(waitMs)) {
            const QString tried = record.error;
            markCancelled(record);
            const QString cancelLine = record.error;
            // The log keeps what the run was waiting to try again after.
            record.error += QStringLiteral("; while waiting to try again after: ") + tried;
            return cancelLine;
        }
        // A checksum that differs from its release stays so until one of them changes.
        if (failure->kind() == ErrorKind::ChecksumDiffers &&
            masterState(options.source) == master) {
            say(stderr, QStringLiteral("tarselcopy: not tried again: neither the release nor its "
                                       "checksum changed"));
            return line;
        }
        RunRecord next = startRecord(options);
        next.when = record.when;
        next.tries = record.tries + 1;
        record = next;
    }
}

// The version at the target once the run is over, as the record beside it gives it: after a
// failure the old version's, and after an update another run's where one replaced it meanwhile.
// Where that record could not be written the run's own digest stays. Its number is the one this
// user's store keeps for those bytes at the target: a current run and a refused one name the
// signed release in service as an update does.
void recordInService(RunRecord& record) {
    if (record.target.isEmpty())
        return;
    if (const std::optional<NumberedRelease> version = versionInService(record.target)) {
        if (record.release == 0 || version->digest != record.digest)
            record.release = version->release;
        record.digest = version->digest;
    }
}

QString resultLine(const RunRecord& record) {
    QStringList details;
    if (record.outcome == Outcome::Updated) {
        details << QString::number(record.bytes) + QStringLiteral(" bytes")
                << QString::number(record.seconds, 'f', 2) + QStringLiteral(" s");
        if (!record.createdFolder.isEmpty())
            details << QStringLiteral("created the folder ") + record.createdFolder;
    } else if (record.outcome == Outcome::Current || record.outcome == Outcome::Behind) {
        if (!record.standing.isEmpty())
            details << record.standing;
    } else {
        details << QStringLiteral("exit ") + QString::number(record.exitCode);
    }
    if (record.tries > 1)
        details << triesText(record);
    // A command line without a target still gets its line.
    return outcomeText(record.outcome) +
           (record.target.isEmpty() ? QString() : QLatin1Char(' ') + record.target) +
           (details.isEmpty() ? QString()
                              : QStringLiteral(" (") + details.join(QStringLiteral(", ")) + u')');
}

// The log, opened before the run: its line goes into the file checked then.
struct OpenLog {
    std::optional<platform::AppendLog> file;
    std::optional<RunTimeError> error; // why it could not be opened
};

// Opens the log, if any; the refusal of one that is a file of the run, which is left as it was.
QString openLog(const Options& options, OpenLog& log) {
    if (options.logFile.isEmpty())
        return QString();
    try {
        log.file.emplace(options.logFile);
    } catch (const RunTimeError& e) {
        log.error = e;
        return QString();
    }
    const QString what = logIsRunFile(log.file->id(), options);
    if (what.isEmpty())
        return what;
    // Only where a name changed since it was checked: what this opening made goes again.
    const platform::FileId id = log.file->id();
    const bool made = log.file->made();
    log.file.reset();
    if (made)
        platform::removeIfSame(options.logFile, id);
    return logRefusal(options.logFile, what);
}

void write(OpenLog& log, const RunRecord& record) {
    std::optional<RunTimeError> error = log.error;
    if (log.file) {
        try {
            log.file->append(logLine(record));
            log.file->close();
        } catch (const RunTimeError& e) {
            error = e;
        }
    }
    if (error)
        say(stderr,
            QStringLiteral("tarselcopy: warning: the log was not written: ") + errorLine(*error));
}

// The system's event log, where fleet tools look: like the log, never a reason to fail the run.
void report(const RunRecord& record) {
    try {
        platform::reportRunEvent(runEventOf(record));
    } catch (const RunTimeError& e) {
        say(stderr,
            QStringLiteral("tarselcopy: warning: the event was not written: ") + errorLine(e));
    }
}

// The run failed before the rename, or never began: the old version is whole where it was.
void open(const RunRecord& record, RunEnd& end) {
    if (record.outcome == Outcome::Cancelled || !QFileInfo(record.target).isFile())
        return;
    try {
        platform::openWithAssociatedProgram(record.target);
        end.opened = true;
    } catch (const RunTimeError& e) {
        end.openError = errorLine(e);
        say(stderr, QStringLiteral("tarselcopy: ") + end.openError);
    }
}

// How a run ended, before anything was opened.
RunEnd ended(int exitCode, bool cancelled, const QString& error) {
    RunEnd end;
    end.exitCode = exitCode;
    end.cancelled = cancelled;
    end.error = error;
    return end;
}

// Every run ends with its result line, its log line where a log was given, its event and its
// exit code.
int finish(OpenLog& log, const RunRecord& record) {
    say(stdout, resultLine(record));
    write(log, record);
    report(record);
    return record.exitCode;
}

// A run cancelled before it began: in its random delay, or at a password prompt.
int endCancelled(OpenLog& log, RunRecord& record, const QElapsedTimer& timer, RunEnd* end) {
    markCancelled(record);
    record.seconds = double(timer.nsecsElapsed()) / 1e9;
    recordInService(record);
    const int exitCode = finish(log, record);
    platform::interruptHandled();
    if (end)
        *end = ended(exitCode, true, record.error);
    return exitCode;
}

int refuse(const Options& options, const QString& why, OpenLog& log, RunEnd* end) {
    say(stderr, QStringLiteral("tarselcopy: ") + why);
    say(stderr, QStringLiteral("Try 'tarselcopy --help' for more information."));
    RunRecord record = startRecord(options);
    record.outcome = Outcome::Failed;
    record.exitCode = ExitCode::Usage;
    record.error = why;
    recordInService(record);
    const int exitCode = finish(log, record);
    if (end)
        *end = ended(exitCode, false, why);
    return exitCode;
}

} // namespace

int runTarselCopy(const Options& options, RunEnd* end) {
    for (const QString& warning : options.warnings)
        say(stderr, QStringLiteral("tarselcopy: warning: ") + warning);
    platform::catchInterrupts();
    QElapsedTimer timer;
    timer.start();
    RunRecord record = startRecord(options);
    // Before the log is opened: desks that wait hold no handle on the share.
    const bool waited = waitUnlessInterrupted(randomMsUpTo(options.randomDelay));
    OpenLog log;
    if (const QString refusal = openLog(options, log); !refusal.isEmpty())
        return refuse(options, refusal, log, end);
    if (!waited)
        return endCancelled(log, record, timer, end);

    Keys keys;
    try {
        keys.trusted = trustedKeys(options.trustedKeys);
        if (!options.signKey.isEmpty())
            keys.signing = preparePublishSigning(options, keys.trusted);
    } catch (const RunTimeError& e) {
        if (e.kind() != ErrorKind::UserInterrupt) {
            platform::interruptHandled();
            return refuse(options, errorLine(e), log, end);
        }
        return endCancelled(log, record, timer, end);
    }

    QString failure;
    if (options.check) {
        checkStanding(options.source, options.target, keys.trusted, record);
        if (record.outcome == Outcome::Failed) {
            failure = record.error;
            say(stderr, QStringLiteral("tarselcopy: ") + failure);
        }
    } else {
        failure = updateWithRetries(options, keys, record);
    }
    if (record.tries > 1) {
        QStringList error(record.error);
        error.removeAll(QString());
        record.error = (error << triesText(record)).join(QStringLiteral("; "));
    }
    record.seconds = double(timer.nsecsElapsed()) / 1e9;
    recordInService(record);

    const int exitCode = finish(log, record);
    RunEnd ending = ended(exitCode, record.outcome == Outcome::Cancelled, failure);
    if (options.open)
        open(record, ending);
    platform::interruptHandled();
    if (end)
        *end = ending;
    return exitCode;
}

int refuseRun(const Options& options, const QString& why, RunEnd* end) {
    OpenLog log;
    const QString refusal = openLog(options, log);
    return refuse(options, refusal.isEmpty() ? why : refusal, log, end);
}

} // namespace tarsel::console
