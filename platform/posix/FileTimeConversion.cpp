#include "platform/FileTimes.h"

#include <QDate>
#include <QDateTime>
#include <limits>

namespace tarsel::platform {

namespace {

constexpr quint64 MaxTicks = quint64(std::numeric_limits<qint64>::max());
constexpr quint64 TicksPerMs = 10'000;
constexpr quint64 TicksPerSecond = 1000 * TicksPerMs;
constexpr quint64 TicksPerDay = 86'400 * TicksPerSecond;
constexpr qint64 FirstJulianDay = 2'305'814; // 1601-01-01

qint64 offsetTicksNow() {
    return qint64(QDateTime::currentDateTime().offsetFromUtc()) * qint64(TicksPerSecond);
}

bool shifted(const FILETIME& in, qint64 by, FILETIME& out) {
    if (in.ticks > MaxTicks)
        return false;
    const qint64 from = qint64(in.ticks);
    if ((by < 0 && from < -by) || (by > 0 && from > qint64(MaxTicks) - by))
        return false;
    out.ticks = quint64(from + by);
    return true;
}

} // namespace

bool fileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
    return shifted(utc, offsetTicksNow(), local);
}

bool localFileTimeToFileTime(const FILETIME& local, FILETIME& utc) {
    return shifted(local, -offsetTicksNow(), utc);
}

bool fileTimeToSystemTime(const FILETIME& time, SYSTEMTIME& fields) {
    if (time.ticks > MaxTicks)
        return false;
    const QDate date = QDate::fromJulianDay(FirstJulianDay + qint64(time.ticks / TicksPerDay));
    const quint64 ms = time.ticks % TicksPerDay / TicksPerMs;
    fields.wYear = quint16(date.year());
    fields.wMonth = quint16(date.month());
    fields.wDayOfWeek = quint16(date.dayOfWeek() % 7);
    fields.wDay = quint16(date.day());
    fields.wHour = quint16(ms / 3'600'000);
    fields.wMinute = quint16(ms / 60'000 % 60);
    fields.wSecond = quint16(ms / 1000 % 60);
    fields.wMilliseconds = quint16(ms % 1000);
    return true;
}

bool systemTimeToFileTime(const SYSTEMTIME& fields, FILETIME& time) {
    if (fields.wYear < 1601 || fields.wYear > 30827 ||
        !QDate::isValid(fields.wYear, fields.wMonth, fields.wDay) || fields.wHour > 23 ||
        fields.wMinute > 59 || fields.wSecond > 59 || fields.wMilliseconds > 999)
        return false;
    const qint64 days =
        QDate(fields.wYear, fields.wMonth, fields.wDay).toJulianDay() - FirstJulianDay;
    const quint64 seconds = (fields.wHour * 60u + fields.wMinute) * 60u + fields.wSecond;
    time.ticks =
        quint64(days) * TicksPerDay + seconds * TicksPerSecond + fields.wMilliseconds * TicksPerMs;
    return true;
}

} // namespace tarsel::platform
