#include "console/Report.h"

#include "console/ConsoleFace.h"
#include "console/ExitCode.h"
#include "copy/ChecksumFile.h"
#include "core/Printable.h"
#include "core/RunTimeError.h"
#include "platform/Checksum.h"
#include "platform/Files.h"

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace tarsel::console {

namespace {

// A log line is a few paths and an error text; anything longer is garbage, never held whole.
constexpr qsizetype MaxLineBytes = 1 << 20;
constexpr qint64 ChunkBytes = 1 << 20;
constexpr int Fields = 12;

// What the report keeps of a desk: its last run's fields, as the log has them.
struct Desk {
    QByteArray computer, user, target;
    qint64 seen = 0; // its last run's start, seconds since 1970 UTC
    QByteArray when, outcome, exitCode, error, digest, release;
};

bool digits(QByteArrayView text) {
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number(QByteArrayView text) {
    int n = 0;
    for (const char c : text)
        n = n * 10 + (c - '0');
    return n;
}

// "yyyy-MM-ddTHH:mm:ss+hh:mm" as seconds since 1970 UTC; none where it is not one.
std::optional<qint64> secondsOf(QByteArrayView time) {
    if (time.size() != 25 || time[4] != '-' || time[7] != '-' || time[10] != 'T' ||
        time[13] != ':' || time[16] != ':' || (time[19] != '+' && time[19] != '-') ||
        time[22] != ':')
        return std::nullopt;
    const auto part = [&](qsizetype at, qsizetype length) -> int {
        const QByteArrayView text = time.sliced(at, length);
        return digits(text) ? number(text) : -1;
    };
    const QDate date(part(0, 4), part(5, 2), part(8, 2));
    const int hour = part(11, 2), minute = part(14, 2), second = part(17, 2);
    const int offsetHours = part(20, 2), offsetMinutes = part(23, 2);
    if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59 || offsetHours < 0 || offsetHours > 14 || offsetMinutes < 0 ||
        offsetMinutes > 59)
        return std::nullopt;
    const qint64 offset = (time[19] == '-' ? -1 : 1) * (offsetHours * 3600 + offsetMinutes * 60);
    return (date.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400 + hour * 3600 +
           minute * 60 + second - offset;
}

bool isOutcome(QByteArrayView text) {
    return text == "updated" || text == "current" || text == "failed" || text == "cancelled" ||
           text == "behind";
}

bool isDigest(QByteArrayView text) {
    return text.isEmpty() ||
           (text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
            }));
}

// A release number as the log writes it: none, or a positive number of at most 64 bits without a
// leading zero.
bool isRelease(QByteArrayView text) {
    if (text.isEmpty())
        return true;
    if (!digits(text) || text[0] == '0' || text.size() > 20)
        return false;
    bool ok = false;
    QByteArray(text.data(), text.size()).toULongLong(&ok);
    return ok;
}

bool isSeconds(QByteArrayView text) {
    const qsizetype point = text.indexOf('.');
    return point > 0 && digits(text.first(point)) && digits(text.sliced(point + 1));
}

// A key that no two desks share, whatever bytes their names hold.
QByteArray deskKey(QByteArrayView computer, QByteArrayView user, QByteArrayView target) {
    QByteArray key;
    key.reserve(computer.size() + user.size() + target.size() + 24);
    for (const QByteArrayView part : {computer, user, target})
        key.append(QByteArray::number(part.size())).append(':').append(part);
    return key;
}

class DeskTable {
public:
    // Takes one line without its line end; false where it is not a log line.
    bool take(QByteArrayView line) {
        if (line.endsWith('\r'))
            line.chop(1);
        QByteArrayView field[Fields];
        int count = 0;
        for (qsizetype start = 0;;) {
            const qsizetype tab = line.indexOf('\t', start);
            if (count == Fields)
                return false;
            field[count++] = line.sliced(start, (tab < 0 ? line.size() : tab) - start);
            if (tab < 0)
                break;
            start = tab + 1;
        }
        if (count != Fields)
            return false;
        const std::optional<qint64> seen = secondsOf(field[0]);
        if (!seen || !isOutcome(field[3]) || !digits(field[4]) || field[4].size() > 3 ||
            !digits(field[7]) || !isSeconds(field[8]) || !isDigest(field[10]) ||
            !isRelease(field[11]))
            return false;
        const QByteArray key = deskKey(field[2], field[1], field[6]);
        auto it = desks_.find(key);
        if (it == desks_.end()) {
            it = desks_.insert(key, Desk());
            it->computer = field[2].toByteArray();
            it->user = field[1].toByteArray();
            it->target = field[6].toByteArray();
        } else if (*seen < it->seen) {
            return true; // an older run appended late
        }
        it->seen = *seen;
        it->when = field[0].toByteArray();
        it->outcome = field[3].toByteArray();
        it->exitCode = field[4].toByteArray();
        it->error = field[9].toByteArray();
        it->digest = field[10].toByteArray();
        it->release = field[11].toByteArray();
        return true;
    }

    const QHash<QByteArray, Desk>& desks() const { return desks_; }

private:
    QHash<QByteArray, Desk> desks_;
};

struct LogRead {
    DeskTable table;
    qint64 skipped = 0; // lines that are not log lines
};

// Reads the log as long as it is now: what others append meanwhile is the next report's. Throws
// RunTimeError where it cannot be opened or read.
void readLog(const QString& path, LogRead& read) {
    const platform::OpenFile file = platform::openForReading(path);
    const qint64 length = platform::lengthOf(file);
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    QByteArray line; // the part of a line that began in an earlier chunk
    bool overlong = false;
    const auto end = [&](QByteArrayView whole) {
        if (overlong || !read.table.take(whole))
            ++read.skipped;
        line.clear();
        overlong = false;
    };
    for (qint64 offset = 0; offset < length;) {
        const qint64 got =
            platform::readAt(file, chunk.data(), std::min(ChunkBytes, length - offset), offset);
        if (got <= 0)
            break;
        offset += got;
        const char* at = chunk.constData();
        const char* const stop = at + got;
        while (at < stop) {
            const char* newline = static_cast<const char*>(std::memchr(at, '\n', stop - at));
            const qsizetype part = (newline ? newline : stop) - at;
            if (newline && line.isEmpty() && !overlong) {
                end(QByteArrayView(at, part));
            } else {
                if (!overlong && line.size() + part > MaxLineBytes) {
                    overlong = true;
                    line.clear();
                } else if (!overlong) {
                    line.append(at, part);
                }
                if (newline)
                    end(line);
            }
            if (!newline)
                break;
            at = newline + 1;
        }
    }
    // A last line without its line end is one being appended, or one an append left torn.
    if (!line.isEmpty() || overlong)
        ++read.skipped;
}

// The digest of the master's release: the one its .sha256 publishes, else that of its bytes.
QByteArray masterDigest(const QString& path) {
    const platform::OpenFile file = platform::openForReading(path);
    if (const std::optional<QByteArray> published =
            readPublishedChecksum(path, platform::stateOf(file).changed))
        return *published;
    platform::Sha256 sha;
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    for (qint64 offset = 0;;) {
        const qint64 got = platform::readAt(file, chunk.data(), ChunkBytes, offset);
        if (got <= 0)
            break;
        sha.add(chunk.constData(), got);
        offset += got;
    }
    return sha.finish();
}

QString text(const QByteArray& bytes) {
    return printable(QString::fromUtf8(bytes));
}

// The release in service as a person reads it: its number where it was signed, else the start of
// its digest; empty where none is known.
QString releaseOf(const Desk& desk) {
    if (!desk.release.isEmpty())
        return QString::fromLatin1(desk.release);
    return QString::fromLatin1(desk.digest.left(12));
}

bool failed(const Desk& desk) {
    return desk.outcome == "failed" || desk.outcome == "cancelled";
}

QString counted(qsizetype n, const QString& one, const QString& many) {
    return QString::number(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

// Where the desk stands against the master's digest: empty without a master.
QString markOf(const Desk& desk, const QByteArray& master) {
    if (master.isEmpty())
        return QString();
    if (desk.digest.isEmpty())
        return QStringLiteral("unknown");
    return desk.digest == master ? QStringLiteral("on master") : QStringLiteral("behind");
}

// RFC 4180: a field with a comma, a quote, a tab or a line break goes in quotes, its quotes
// doubled. The names come from whoever can write the log: one that a spreadsheet would take for a
// formula is given a leading apostrophe, so that it stays text.
QString csvField(QString value) {
    if (!value.isEmpty() && QStringLiteral("=+-@").contains(value.front()))
        value.prepend(QLatin1Char('\''));
    static const QString special = QStringLiteral(",\"\t\r\n");
    if (std::any_of(value.begin(), value.end(), [](QChar c) { return special.contains(c); }))
        return QLatin1Char('"') + value.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QLatin1Char('"');
    return value;
}

void print(std::FILE* stream, const QString& lines) {
    std::fputs(lines.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString table(const std::vector<QStringList>& rows, bool csv) {
    QString out;
    if (csv) {
        for (const QStringList& row : rows) {
            QStringList fields;
            for (const QString& value : row)
                fields << csvField(value);
            out += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
        }
        return out;
    }
    // Columns lined up; the error, last and longest, as it is.
    std::vector<qsizetype> width(rows.front().size(), 0);
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i + 1 < row.size(); ++i)
            width[i] = std::max(width[i], row[i].size());
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(width[i] + 2) : row[i];
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += line + QLatin1Char('\n');
    }
    return out;
}

} // namespace

int reportDesks(const Options& options) {
    LogRead read;
    try {
        readLog(options.report, read);
    } catch (const RunTimeError& e) {
        print(stderr, QStringLiteral("tarselcopy: ") + printable(errorLine(e)) + u'\n');
        return ExitCode::Release;
    }

    QByteArray master;
    if (!options.source.isEmpty()) {
        try {
            master = masterDigest(options.source).toHex();
        } catch (const RunTimeError& e) {
            print(stderr, QStringLiteral("tarselcopy: warning: no desk is marked against the "
                                         "master: ") +
                              printable(errorLine(e)) + u'\n');
        }
    }

    std::vector<const Desk*> desks;
    QStringList leftOut;
    const qint64 oldest = QDateTime::currentSecsSinceEpoch() - qint64(options.sinceDays) * 86400;
    for (const Desk& desk : read.table.desks()) {
        if (options.sinceDays > 0 && desk.seen < oldest) {
            const QString name =
                text(desk.computer) + QStringLiteral(" (") + text(desk.user) + QLatin1Char(')');
            if (!leftOut.contains(name))
                leftOut << name;
        } else {
            desks.push_back(&desk);
        }
    }
    const auto order = [](const Desk* a, const Desk* b) {
        const auto names = [](const Desk* d) {
            return QStringList{QString::fromUtf8(d->computer), QString::fromUtf8(d->user),
                               QString::fromUtf8(d->target)};
        };
        const QStringList x = names(a), y = names(b);
        for (int i = 0; i < 3; ++i)
            if (const int c = x[i].compare(y[i], Qt::CaseInsensitive); c != 0)
                return c < 0;
        return x < y;
    };
    std::sort(desks.begin(), desks.end(), order);
    leftOut.sort(Qt::CaseInsensitive);

    std::vector<QStringList> rows{{QStringLiteral("computer"), QStringLiteral("user"),
                                   QStringLiteral("target"), QStringLiteral("last run"),
                                   QStringLiteral("outcome"), QStringLiteral("exit"),
                                   QStringLiteral("release")}};
    if (options.csv)
        rows.front() << QStringLiteral("digest");
    if (!master.isEmpty() || options.csv)
        rows.front() << QStringLiteral("master");
    rows.front() << QStringLiteral("error");
    if (!options.csv)
        for (QString& heading : rows.front())
            heading = heading.toUpper();

    QMap<QString, qsizetype> onRelease; // the desks that did not fail, by release in service
    QMap<int, qsizetype> failures;      // the desks that failed, by exit code
    qsizetype noRelease = 0;
    QMap<QString, qsizetype> marks;
    QString masterRelease; // the master's number, as a desk that took it logged it
    for (const Desk* desk : desks) {
        const QString release = releaseOf(*desk);
        const QString mark = markOf(*desk, master);
        QStringList row{text(desk->computer),
                        text(desk->user),
                        text(desk->target),
                        text(desk->when),
                        text(desk->outcome),
                        text(desk->exitCode),
                        options.csv || !release.isEmpty() ? release : QStringLiteral("unknown")};
        if (options.csv)
            row << QString::fromLatin1(desk->digest);
        if (!master.isEmpty() || options.csv)
            row << mark;
        row << text(desk->error);
        rows.push_back(row);

        if (failed(*desk))
            ++failures[number(desk->exitCode)];
        else if (release.isEmpty())
            ++noRelease;
        else
            ++onRelease[release];
        if (!mark.isEmpty())
            ++marks[mark];
        if (desk->digest == master && !desk->release.isEmpty())
            masterRelease = QString::fromLatin1(desk->release);
    }

    // Most desks first; among as many, the higher release number, then the digests.
    std::vector<std::pair<QString, qsizetype>> groups(onRelease.keyValueBegin(),
                                                      onRelease.keyValueEnd());
    std::sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second)
            return a.second > b.second;
        const qulonglong x = a.first.toULongLong(), y = b.first.toULongLong();
        if ((x == 0) != (y == 0))
            return x != 0;
        return x != y ? x > y : a.first < b.first;
    });
    QStringList counts;
    for (const auto& [release, n] : groups)
        counts << QString::number(n) + QStringLiteral(" on release ") + release;
    if (noRelease > 0)
        counts << QString::number(noRelease) + QStringLiteral(" on no known release");
    if (!failures.isEmpty()) {
        QStringList byCode;
        qsizetype all = 0;
        for (auto it = failures.cbegin(); it != failures.cend(); ++it) {
            byCode << QStringLiteral("exit %1: %2").arg(it.key()).arg(it.value());
            all += it.value();
        }
        counts << QString::number(all) + QStringLiteral(" failed (") +
                      byCode.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    QStringList parts{
        counted(qsizetype(desks.size()), QStringLiteral("desk"), QStringLiteral("desks")) +
        (counts.isEmpty() ? QString() : QStringLiteral(": ") + counts.join(QStringLiteral(", ")))};
    if (!master.isEmpty()) {
        QStringList standing;
        for (const QString& mark :
             {QStringLiteral("on master"), QStringLiteral("behind"), QStringLiteral("unknown")})
            if (marks.value(mark) > 0)
                standing << QString::number(marks.value(mark)) + QLatin1Char(' ') + mark;
        parts << QStringLiteral("the master is release ") +
                     (masterRelease.isEmpty() ? QString::fromLatin1(master.left(12))
                                              : masterRelease) +
                     (standing.isEmpty()
                          ? QString()
                          : QStringLiteral(": ") + standing.join(QStringLiteral(", ")));
    }
    if (!leftOut.isEmpty())
        parts << QStringLiteral("left out, not seen for %1 days: ").arg(options.sinceDays) +
                     leftOut.join(QStringLiteral(", "));
    if (read.skipped > 0)
        parts << counted(read.skipped, QStringLiteral("line"), QStringLiteral("lines")) +
                     QStringLiteral(" skipped, not log lines");
    const QString summary = parts.join(QStringLiteral("; ")) + u'\n';

    if (options.csv) {
        print(stdout, table(rows, true));
        print(stderr, summary);
    } else {
        print(stdout, table(rows, false) + summary);
    }
    return ExitCode::Ok;
}

} // namespace tarsel::console
