#include "filetime/ReadFileDate.h"

#include "filetime/GeneralDate.h"

namespace tarsel {

QDateTime MissingFileDate() {
    return QDateTime(QDate(9999, 12, 31), QTime(0, 0));
}

QDateTime ReadFileDate(FileTimeRecords& records, const QString& fileName, qint32 kind) {
    records.FileHandle = platform::findFirstFile(fileName, records.FindData);
    if (records.FileHandle == platform::InvalidHandle)
        return MissingFileDate();
    const platform::FILETIME* field = timeField(records.FindData, kind);
    if (!field)
        return MissingFileDate();
    // A stamp without a local date must not show the fields that an earlier read left behind.
    if (!platform::fileTimeToLocalFileTime(*field, records.LocalTime) ||
        !platform::fileTimeToSystemTime(records.LocalTime, records.SysTime))
        return MissingFileDate();

    // Through the text the date boxes show, read back in the user's locale; milliseconds dropped.
    const platform::SYSTEMTIME& local = records.SysTime;
    return CDate(ShortDateText(QDate(local.wYear, local.wMonth, local.wDay)) + u' ' +
                 LongTimeText(QTime(local.wHour, local.wMinute, local.wSecond)));
}

} // namespace tarsel
