#include "copy/VersionRecords.h"

#include "copy/ChecksumFile.h"
#include "core/RunTimeError.h"

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
                  const QByteArray& digest, Yielder& yielder) {
    const QString checksum = checksumPathFor(target);
    if (!platform::nameCanExist(checksum))
        return false;
    const platform::FileId written = writeChecksumFile(target, digest, yielder);
    if (!version.id() || platform::fileIdOf(target) != version.id()) {
        platform::removeIfSame(checksum, written);
        throw RunTimeError(ErrorKind::PathFileAccess,
                           target + QStringLiteral(": another version took its place meanwhile, "
                                                   "put there by a run at the same time"));
    }
    return true;
}

} // namespace tarsel
