#include "filetime/PutFileDate.h"

#include "platform/DirectorySearch.h"

namespace tarsel {

namespace {

// The calendar fields of the date; milliseconds and day of the week are left as they were.
bool storeDateFields(platform::SYSTEMTIME& fields, const QDateTime& date) {
    const QDate day = date.date();
    const QTime time = date.time();
    if (!day.isValid() || !time.isValid() || day.year() < 1601 || day.year() > 30827)
        return false;
    fields.wYear = quint16(day.year());
    fields.wMonth = quint16(day.month());
    fields.wDay = quint16(day.day());
    fields.wHour = quint16(time.hour());
    fields.wMinute = quint16(time.minute());
    fields.wSecond = quint16(time.second());
    return true;
}

} // namespace

std::optional<qint32> PutFileDate(FileTimeRecords& records, const QString& fileName, qint32 kind,
                                  const QDateTime& newDate) {
    records.FileHandle = platform::findFirstFile(fileName, records.FindData);
    if (records.FileHandle == platform::InvalidHandle)
        return std::nullopt;
    const bool converted = storeDateFields(records.SysTime, newDate) &&
                           platform::systemTimeToFileTime(records.SysTime, records.LocalTime);
    platform::FILETIME* field = timeField(records.FindData, kind);
    if (!field)
        return std::nullopt;
    if (!converted || !platform::localFileTimeToFileTime(records.LocalTime, *field))
        return 0;

    const quint32 attributes = platform::attributesOf(fileName);
    platform::setAttributes(fileName, attributes & ~platform::Attr::ReadOnly);

    std::optional<qint32> result;
    records.FileHandle = platform::openExistingForWriting(fileName);
    if (records.FileHandle != platform::InvalidHandle) {
        const platform::WIN32_FIND_DATA& found = records.FindData;
        result = platform::setFileTime(records.FileHandle, found.ftCreationTime,
                                       found.ftLastAccessTime, found.ftLastWriteTime);
        platform::closeHandle(records.FileHandle);
    }
    platform::setAttributes(fileName, attributes);
    return result;
}

} // namespace tarsel
