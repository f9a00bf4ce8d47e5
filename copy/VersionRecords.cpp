#include "copy/VersionRecords.h"

#include "copy/ChecksumFile.h"
#include "copy/ReleaseComment.h"
#include "copy/SmallFile.h"
#include "core/RunTimeError.h"
#include "platform/Paths.h"

#include <QDateTime>
#include <QStringList>

namespace tarsel {

namespace {

// Every record there can be beside `file`.
QStringList recordPathsFor(const QString& file) {
    const QString checksum = checksumPathFor(file);
    QStringList paths;
    for (const QString& path : {checksum, checksum + QStringLiteral(".minisig")})
        if (platform::nameCanExist(path))
            paths << path;
    return paths;
}

} // namespace

OldRecords::OldRecords(const QString& target) : target_(target), version_(target) {
    try {
        for (const QString& path : recordPathsFor(target))
            aside_.emplace_back(path);
    } catch (const RunTimeError&) {
        for (platform::SetAside& record : aside_)
            record.putBack();
        throw;
    }
}

OldRecords::~OldRecords() {
    if (platform::fileIdOf(target_) == version_.id())
        for (platform::SetAside& record : aside_)
            record.putBack();
}

bool writeRecords(const QString& target, const platform::FileIdHold& version,
                  const QByteArray& digest, Yielder& yielder, const minisign::SecretKey* signKey,
                  quint64 release) {
    const QString checksum = checksumPathFor(target);
    const QString signature = minisign::signaturePathFor(checksum);
    if (!platform::nameCanExist(checksum) || (signKey && !platform::nameCanExist(signature)))
        return false;
    const platform::FileId written = writeChecksumFile(target, digest, yielder);
    std::optional<platform::FileId> signedBy;
    if (signKey) {
        const QString name = platform::fileNameOf(target);
        const QByteArray comment =
            releaseComment({name, release}, QDateTime::currentSecsSinceEpoch());
        signedBy =
            writeSmallFile(signature, minisign::sign(checksumLine(digest, name), *signKey, comment),
                           target, yielder);
    }
    if (!version.id() || platform::fileIdOf(target) != version.id()) {
        if (signedBy)
            platform::removeIfSame(signature, *signedBy);
        platform::removeIfSame(checksum, written);
        throw RunTimeError(ErrorKind::PathFileAccess,
                           target + QStringLiteral(": another version took its place meanwhile, "
                                                   "put there by a run at the same time"));
    }
    return true;
}

} // namespace tarsel
