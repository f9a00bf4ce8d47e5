#include "copy/AlreadyInService.h"

#include "copy/ChecksumFile.h"
#include "copy/ReleaseStamp.h"
#include "copy/SignedRelease.h"
#include "core/RunTimeError.h"
#include "filetime/FileDateKind.h"
#include "filetime/FileTimeRecords.h"
#include "filetime/ReadFileDate.h"
#include "platform/Files.h"

#include <QFileInfo>

namespace tarsel {

bool AlreadyInService(const QString& source, const QString& target,
                      const QList<minisign::PublicKey>& trusted) {
    const QFileInfo release(source);
    const QFileInfo current(target);
    if (!release.isFile() || !current.isFile())
        return false;
    if (!trusted.isEmpty()) {
        // Whatever the signature lacks, the run refuses with its reason.
        try {
            const qint64 changed = platform::stateOf(platform::openForReading(source)).changed;
            const std::optional<QByteArray> inService = readRecordedChecksum(target);
            return inService && readSignedRelease(source, changed, trusted).digest == *inService;
        } catch (const RunTimeError&) {
            return false;
        }
    }
    try {
        // The checksums record the release as published and the version as put into service:
        // where both are there they decide, as Access writes into a front end as it is used.
        const std::optional<QByteArray> published = readPublishedChecksum(
            source, platform::stateOf(platform::openForReading(source)).changed);
        const std::optional<QByteArray> inService = readRecordedChecksum(target);
        if (published && inService)
            return *published == *inService;
    } catch (const RunTimeError& e) {
        // Older than the release: the run refuses it until its checksum follows.
        if (e.kind() == ErrorKind::ChecksumDiffers)
            return false;
        // No digest to go by: the date decides.
    }
    if (release.size() != current.size())
        return false;
    try {
        FileTimeRecords records;
        const QDateTime modified = ReadFileDate(records, source, Modified);
        const QDateTime created = ReadFileDate(records, target, Created);
        if (modified == MissingFileDate() || created == MissingFileDate())
            return false;
        return isReleaseStamp(created, modified);
    } catch (const RunTimeError&) {
        return false;
    }
}

} // namespace tarsel
