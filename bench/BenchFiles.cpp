#include "BenchFiles.h"

#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace tarsel::bench {

qint64 parseSize(QString text) {
    qint64 unit = 1;
    const QChar suffix = text.isEmpty() ? QChar() : text.back().toUpper();
    if (suffix == 'K' || suffix == 'M' || suffix == 'G') {
        unit = suffix == 'K' ? 1 << 10 : suffix == 'M' ? 1 << 20 : 1 << 30;
        text.chop(1);
    }
    bool ok = false;
    const qint64 count = text.toLongLong(&ok);
    return ok && count > 0 ? count * unit : 0;
}

QString sizeText(qint64 size) {
    if (size % 1024 == 1023)
        return sizeText(size + 1) + QStringLiteral(" - 1 B");
    static const char* const units[] = {"B", "KiB", "MiB", "GiB"};
    int unit = 0;
    while (unit < 3 && size % 1024 == 0 && size >= 1024) {
        size /= 1024;
        ++unit;
    }
    return QString::number(size) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

bool makeRandomFile(const QString& path, qint64 size) {
    constexpr qsizetype Page = 4096;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qsizetype i = 0; i < chunk.size(); i += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(chunk.data() + i, &state, 8);
    }
    for (qint64 done = 0, number = 0; done < size; done += chunk.size(), ++number) {
        for (qsizetype page = 0; page < chunk.size(); page += Page)
            std::memcpy(chunk.data() + page, &number, sizeof number);
        const qint64 length = std::min<qint64>(chunk.size(), size - done);
        if (file.write(chunk.constData(), length) != length)
            return false;
    }
    return true;
}

SourceFolder::SourceFolder(const QString& folder, qint64 size)
    : dir_(folder + QStringLiteral("/tarsel_bench-XXXXXX")),
      made_(dir_.isValid() && makeRandomFile(source(), size)) {
    if (!made_)
        std::fprintf(stderr, "cannot make a %lld-byte file in %s\n", size, qPrintable(folder));
}

bool tool(const QString& program, const QStringList& arguments) {
    // The tools' own result lines would break up the table; their errors still show.
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace tarsel::bench
