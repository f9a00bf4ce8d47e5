#include "filetime/GeneralDate.h"

#include "core/RunTimeError.h"

#include <QLocale>
#include <QRegularExpression>
#include <functional>

namespace tarsel {

namespace {

// Replaces each run of one unquoted pattern letter in a QLocale format; quoted text is kept.
QString rewriteRuns(const QString& format, QChar letter,
                    const std::function<QString(qsizetype length)>& replacement) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != letter) {
            out += c;
            ++i;
            continue;
        }
        qsizetype length = 0;
        while (i + length < format.size() && format.at(i + length) == letter)
            ++length;
        out += replacement(length);
        i += length;
    }
    return out;
}

QString shortDateFormat() {
    return rewriteRuns(QLocale().dateFormat(QLocale::ShortFormat), u'y',
                       [](qsizetype length) { return QString(length == 2 ? 4 : length, u'y'); });
}

QString longTimeFormat() {
    // The zone comes as " t", "t ", ", t", " (t)" or " [t]"; it goes with what joins it on.
    const QChar mark(0x1);
    QString format = rewriteRuns(QLocale().timeFormat(QLocale::LongFormat), u't',
                                 [mark](qsizetype) { return QString(mark); });
    static const QRegularExpression zone(QStringLiteral("[\\s,(\\[]*\\x{1}[\\s)\\]]*"));
    return format.replace(zone, QStringLiteral(" ")).trimmed();
}

// A wall time that the zone skips (the hour the clocks spring forward) cannot be a local QDateTime;
// it keeps its fields with the offset in force now, as the file-time conversions do.
QDateTime localDateTime(QDate date, QTime time) {
    QDateTime local(date, time);
    if (!local.isValid())
        local =
            QDateTime(date, time, Qt::OffsetFromUTC, QDateTime::currentDateTime().offsetFromUtc());
    return local;
}

} // namespace

QString ShortDateText(QDate date) {
    return QLocale().toString(date, shortDateFormat());
}

QString LongTimeText(QTime time) {
    return QLocale().toString(time, longTimeFormat());
}

QString GeneralDateText(const QDateTime& local) {
    const QTime time = local.time();
    const QString date = ShortDateText(local.date());
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + u' ' + LongTimeText(time);
}

QDateTime CDate(const QString& text) {
    const QLocale locale;
    const QString dateFormat = shortDateFormat();
    const QString timeFormat = longTimeFormat();
    const QString trimmed = text.trimmed();
    if (const QDate date = locale.toDate(trimmed, dateFormat); date.isValid())
        return localDateTime(date, QTime(0, 0));
    // Short dates may hold blanks themselves, so try each blank as the one between date and time.
    for (qsizetype blank = trimmed.indexOf(u' '); blank >= 0;
         blank = trimmed.indexOf(u' ', blank + 1)) {
        const QDate date = locale.toDate(trimmed.left(blank), dateFormat);
        const QTime time = locale.toTime(trimmed.mid(blank + 1), timeFormat);
        if (date.isValid() && time.isValid())
            return localDateTime(date, time);
    }
    throw typeMismatch();
}

} // namespace tarsel
