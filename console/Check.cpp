#include "console/Check.h"

#include "console/ConsoleFace.h"
#include "console/ExitCode.h"
#include "copy/AlreadyInService.h"
#include "copy/ChecksumFile.h"
#include "copy/ReleaseNumbers.h"
#include "copy/SignedRelease.h"
#include "platform/Files.h"

#include <QFileInfo>

#include <optional>

namespace tarsel::console {

namespace {

// A release as --report names it: its signed number, else the start of its digest.
QString releaseName(quint64 number, const QByteArray& digest) {
    if (number != 0)
        return QStringLiteral("release ") + QString::number(number);
    if (digest.isEmpty())
        return QStringLiteral("unknown");
    return QStringLiteral("release ") + hexOf(digest).left(12);
}

// What the master publishes, read as a run would take it. Throws RunTimeError where a run would
// refuse it, an older signed release than the one in service too.
QString published(const QString& source, const QString& target,
                  const QList<minisign::PublicKey>& trusted) {
    const qint64 changed = platform::stateOf(platform::openForReading(source)).changed;
    if (!trusted.isEmpty()) {
        const SignedRelease release = readSignedRelease(source, changed, trusted);
        refuseIfOlder(source, release, target);
        return releaseName(release.release, release.digest);
    }
    return releaseName(0, readPublishedChecksum(source, changed).value_or(QByteArray()));
}

} // namespace

void checkStanding(const QString& source, const QString& target,
                   const QList<minisign::PublicKey>& trusted, RunRecord& record) {
    const bool current = AlreadyInService(source, target, trusted);
    QString master;
    try {
        master = published(source, target, trusted);
    } catch (const RunTimeError& e) {
        // Current all the same where the test decided by the date, as --if-changed does.
        if (!current) {
            record.outcome = Outcome::Failed;
            record.exitCode = ExitCode::Release;
            record.error = errorLine(e);
            return;
        }
        master = releaseName(0, QByteArray());
    }
    record.outcome = current ? Outcome::Current : Outcome::Behind;
    record.exitCode = current ? ExitCode::Ok : ExitCode::Behind;
    QString version = QStringLiteral("none");
    if (QFileInfo(target).isFile()) {
        const std::optional<NumberedRelease> numbered = versionInService(target);
        version = numbered ? releaseName(numbered->release, numbered->digest)
                           : releaseName(0, QByteArray());
        record.release = numbered ? numbered->release : 0;
    }
    record.standing =
        QStringLiteral("in service: ") + version + QStringLiteral(", master: ") + master;
}

} // namespace tarsel::console
