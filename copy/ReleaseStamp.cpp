#include "copy/ReleaseStamp.h"

#include "platform/FileTimes.h"

#include <cstdlib>

namespace tarsel {

namespace {

constexpr qint64 StampOffsetSecs = 60;
constexpr qint64 StampToleranceSecs = 2;

} // namespace

QDateTime releaseStamp(const QDateTime& releaseModified) {
    return releaseModified.addSecs(StampOffsetSecs);
}

QDateTime releaseStampOf(const platform::OpenFile& release) {
    platform::FILETIME written;
    platform::FILETIME local;
    platform::SYSTEMTIME fields;
    if (!platform::lastWriteTimeOf(release.handle(), written) ||
        !platform::fileTimeToLocalFileTime(written, local) ||
        !platform::fileTimeToSystemTime(local, fields))
        return {};
    return releaseStamp(QDateTime(QDate(fields.wYear, fields.wMonth, fields.wDay),
                                  QTime(fields.wHour, fields.wMinute, fields.wSecond)));
}

bool isReleaseStamp(const QDateTime& created, const QDateTime& releaseModified) {
    return std::abs(releaseStamp(releaseModified).secsTo(created)) <= StampToleranceSecs;
}

} // namespace tarsel
