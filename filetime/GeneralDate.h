#pragma once

#include <QDateTime>
#include <QString>

// Dates as the date boxes show them, in the user's locale (QLocale(), so tests can set it).
namespace tarsel {

// The locale's short date, its year always in four digits: a two-digit year would turn the
// missing-date value 9999 into 99 and could not be read back.
QString ShortDateText(QDate date);

// The locale's long time without its time zone.
QString LongTimeText(QTime time);

// The general date: the short date, one blank and the long time; the time is left out when it is
// exactly 00:00:00.
QString GeneralDateText(const QDateTime& local);

// Reads a general date text (or a short date alone, at midnight) back as a local date and time.
// Throws RunTimeError 13 "Type mismatch" for any other text.
QDateTime CDate(const QString& text);

} // namespace tarsel
