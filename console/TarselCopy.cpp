#include "console/TarselCopy.h"

#include "console/ConsoleFace.h"
#include "console/ExitCode.h"
#include "console/RunLog.h"
#include "copy/AlreadyInService.h"
#include "copy/ChecksumFile.h"
#include "copy/ReleaseRun.h"
#include "platform/AppendLog.h"
#include "platform/Console.h"
#include "platform/Opener.h"
#include "sweep/EndAccess.h"
#include "sweep/WhoHolds.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>

#include <cstdio>

namespace tarsel::console {

namespace {

// As long as the window leaves an Access that was asked to close before it ends it.
constexpr qint64 AccessGraceMs = 5000;

struct NoEventLoop : Yielder {
    void yield() override {}
};

void say(std::FILE* stream, const QString& text) {
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// False when a cancel came meanwhile: nothing more is asked or ended, and the run does not begin.
bool endAccess(const QString& target) {
    try {
        NoEventLoop noEvents;
        endAccessProcesses(*platform::systemProcessTable(), target, noEvents, AccessGraceMs,
                           platform::interrupted);
    } catch (const RunTimeError& e) {
        if (e.kind() == ErrorKind::UserInterrupt)
            return false;
        // The run goes on: a target that Access still holds is reported by the run itself.
        say(stderr, QStringLiteral("tarselcopy: warning: ") + errorLine(e));
    }
    return true;
}

void cancel(RunRecord& record) {
    record.exitCode = ExitCode::Cancelled;
    record.error = errorLine(userInterrupt());
    record.outcome = Outcome::Cancelled;
    say(stderr, QStringLiteral("tarselcopy: ") + record.error);
}

// Runs the release run and fills the record with how it went.
void update(const Options& options, RunRecord& record) {
    ConsoleFace face(QFileInfo(options.source).size(),
                     !options.quiet && platform::stderrIsTerminal());
    ReleaseRequest request{options.source, options.target};
    request.refuseEmpty = true;
    try {
        const RunResult result = runRelease(request, face);
        record.bytes = result.bytes;
        record.digest = result.digest;
        record.outcome = Outcome::Updated;
        // What the run did without (the checksum beside the new version, its creation date) is
        // the log's to keep as well.
        record.error = face.warnings().join(QStringLiteral("; "));
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
            record.error =
                (QStringList(face.warnings()) << record.error).join(QStringLiteral("; "));
        } else if (failure.stage() == RunStage::Cancel)
            record.outcome = Outcome::Cancelled;
        else
            record.outcome = Outcome::Failed;
    }
}

// The version at the target once the run is over, as the record beside it gives it: after a
// failure the old version's, and after an update another run's where one replaced it meanwhile.
// Where that record could not be written the run's own digest stays.
void recordInService(RunRecord& record) {
    if (record.target.isEmpty())
        return;
    try {
        if (const std::optional<QByteArray> digest = readRecordedChecksum(record.target))
            record.digest = *digest;
    } catch (const RunTimeError&) {
        // A record that gives no digest tells nothing of the version.
    }
}

QString resultLine(const RunRecord& record) {
    if (record.outcome == Outcome::Updated)
        return QStringLiteral("updated ") + record.target + QStringLiteral(" (") +
               QString::number(record.bytes) + QStringLiteral(" bytes, ") +
               QString::number(record.seconds, 'f', 2) + QStringLiteral(" s)");
    if (record.outcome == Outcome::Current)
        return QStringLiteral("current ") + record.target;
    // A command line without a target still gets its line.
    return outcomeText(record.outcome) +
           (record.target.isEmpty() ? QString() : QLatin1Char(' ') + record.target) +
           QStringLiteral(" (exit ") + QString::number(record.exitCode) + QStringLiteral(")");
}

void log(const QString& file, const RunRecord& record) {
    try {
        platform::appendLine(file, logLine(record));
    } catch (const RunTimeError& e) {
        say(stderr,
            QStringLiteral("tarselcopy: warning: the log was not written: ") + errorLine(e));
    }
}

// The run failed before the rename, or never began: the old version is whole where it was.
void open(const RunRecord& record) {
    if (record.outcome == Outcome::Cancelled || !QFileInfo(record.target).isFile())
        return;
    try {
        platform::openWithAssociatedProgram(record.target);
    } catch (const RunTimeError& e) {
        say(stderr, QStringLiteral("tarselcopy: ") + errorLine(e));
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

// Every run ends with its result line, its log line where a log was given, and its exit code.
int finish(const Options& options, const RunRecord& record) {
    say(stdout, resultLine(record));
    if (!options.logFile.isEmpty())
        log(options.logFile, record);
    return record.exitCode;
}

} // namespace

int runTarselCopy(const Options& options) {
    platform::catchInterrupts();
    QElapsedTimer timer;
    timer.start();
    RunRecord record = startRecord(options);

    // Access is ended only for a copy: a current target keeps everyone at work.
    if (options.ifChanged && AlreadyInService(options.source, options.target))
        record.outcome = Outcome::Current;
    else if (options.endAccess && !endAccess(options.target))
        cancel(record);
    else
        update(options, record);
    record.seconds = double(timer.nsecsElapsed()) / 1e9;
    recordInService(record);

    const int exitCode = finish(options, record);
    if (options.open)
        open(record);
    platform::interruptHandled();
    return exitCode;
}

int refuseRun(const Options& options, const QString& why) {
    say(stderr, QStringLiteral("tarselcopy: ") + why +
                    QStringLiteral("\nTry 'tarselcopy --help' for more information."));
    RunRecord record = startRecord(options);
    record.outcome = Outcome::Failed;
    record.exitCode = ExitCode::Usage;
    record.error = why;
    recordInService(record);
    return finish(options, record);
}

} // namespace tarsel::console
