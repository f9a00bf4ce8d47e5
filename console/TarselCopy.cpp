#include "console/TarselCopy.h"

#include "console/ConsoleFace.h"
#include "console/ExitCode.h"
#include "console/LogPlace.h"
#include "console/RunLog.h"
#include "console/SignPublish.h"
#include "copy/AlreadyInService.h"
#include "copy/ChecksumFile.h"
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

// A run cancelled before it began (at a password prompt).
void cancel(RunRecord& record) {
    record.exitCode = ExitCode::Cancelled;
    record.error = errorLine(userInterrupt());
    record.outcome = Outcome::Cancelled;
    say(stderr, QStringLiteral("tarselcopy: ") + record.error);
}

// What a run needs besides its paths: the keys it trusts, and how a publish signs.
struct Keys {
    QList<minisign::PublicKey> trusted;
    std::optional<PublishSigning> signing;
};

// Runs the release run and fills the record with how it went. Returns the error line of a run
// that failed, empty otherwise.
QString update(const Options& options, const Keys& keys, RunRecord& record) {
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
        return QString();
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
            return QString();
        }
        const QString line = record.error;
        record.outcome = failure.stage() == RunStage::Cancel ? Outcome::Cancelled : Outcome::Failed;
        // The error first, as every failed run's field has it; then what the run did before.
        record.error = (QStringList(record.error) << face.notes()).join(QStringLiteral("; "));
        return line;
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
    try {
        if (const std::optional<QByteArray> digest = readRecordedChecksum(record.target))
            record.digest = *digest;
    } catch (const RunTimeError&) {
        // A record that gives no digest tells nothing of the version.
    }
    if (record.release != 0 || record.digest.isEmpty())
        return;
    const NumberedRelease kept = releaseInService(record.target);
    if (kept.digest == record.digest)
        record.release = kept.release;
}

QString resultLine(const RunRecord& record) {
    if (record.outcome == Outcome::Updated)
        return QStringLiteral("updated ") + record.target + QStringLiteral(" (") +
               QString::number(record.bytes) + QStringLiteral(" bytes, ") +
               QString::number(record.seconds, 'f', 2) + QStringLiteral(" s") +
               (record.createdFolder.isEmpty()
                    ? QString()
                    : QStringLiteral(", created the folder ") + record.createdFolder) +
               QLatin1Char(')');
    if (record.outcome == Outcome::Current)
        return QStringLiteral("current ") + record.target;
    // A command line without a target still gets its line.
    return outcomeText(record.outcome) +
           (record.target.isEmpty() ? QString() : QLatin1Char(' ') + record.target) +
           QStringLiteral(" (exit ") + QString::number(record.exitCode) + QStringLiteral(")");
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

RunRecord startRecord(const Options& options) {
    RunRecord record;
    record.when = QDateTime::currentDateTime();
    record.user = platform::userName();
    record.computer = QSysInfo::machineHostName();
    record.source = options.source;
    record.target = options.target;
    return record;
}

// How a run ended, before anything was opened.
RunEnd ended(int exitCode, bool cancelled, const QString& error) {
    RunEnd end;
    end.exitCode = exitCode;
    end.cancelled = cancelled;
    end.error = error;
    return end;
}

// Every run ends with its result line, its log line where a log was given, and its exit code.
int finish(OpenLog& log, const RunRecord& record) {
    say(stdout, resultLine(record));
    write(log, record);
    return record.exitCode;
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
    platform::catchInterrupts();
    QElapsedTimer timer;
    timer.start();
    OpenLog log;
    if (const QString refusal = openLog(options, log); !refusal.isEmpty())
        return refuse(options, refusal, log, end);
    RunRecord record = startRecord(options);

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
        cancel(record);
        const int exitCode = finish(log, record);
        platform::interruptHandled();
        if (end)
            *end = ended(exitCode, true, record.error);
        return exitCode;
    }

    // Access is ended only for a copy: a current target keeps everyone at work.
    QString failure;
    if (options.ifChanged && AlreadyInService(options.source, options.target, keys.trusted))
        record.outcome = Outcome::Current;
    else
        failure = update(options, keys, record);
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
