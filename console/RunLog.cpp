#include "console/RunLog.h"

#include "core/Printable.h"

#include <QStringList>

namespace tarsel::console {

namespace {

// ISO 8601 with the offset always written out: "Z" would hide that the time is local.
QString isoLocalTime(const QDateTime& when) {
    const int offset = when.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// Names in a field come from other people (paths, process names): escaped, so that none can
// forge a line or drive the terminal of whoever reads the log.
QString field(QString text) {
    for (QChar& c : text)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return printable(text);
}

} // namespace

QString outcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Updated:
        return QStringLiteral("updated");
    case Outcome::Current:
        return QStringLiteral("current");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::Behind:
        return QStringLiteral("behind");
    }
    return QString();
}

QByteArray logLine(const RunRecord& record) {
    const QStringList fields{isoLocalTime(record.when),
                             field(record.user),
                             field(record.computer),
                             outcomeText(record.outcome),
                             QString::number(record.exitCode),
                             field(record.source),
                             field(record.target),
                             QString::number(record.bytes),
                             QString::number(record.seconds, 'f', 3),
                             field(record.error),
                             QString::fromLatin1(record.digest.toHex()),
                             record.release != 0 ? QString::number(record.release) : QString()};
    return (fields.join(u'\t') + u'\n').toUtf8();
}

} // namespace tarsel::console
