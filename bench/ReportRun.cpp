#include "ReportRun.h"

#include "BenchFiles.h"
#include "Race.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace tarsel::bench {

namespace {

constexpr int Desks = 300;

// `lines` runs of `Desks` desks taking turns, one in twenty failed, releases rising as they go.
bool writeLog(const QString& path, int lines) {
    QFile log(path);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        const int desk = i % Desks;
        const int release = 40 + i / (lines / 3 + 1);
        const bool failed = i % 20 == 7;
        chunk += QStringLiteral("2026-12-%1T07:%2:%3+01:00\tuser%4\tDESK-%5\t%6\t%7\t"
                                "\\\\fileserver\\releases\\Sales\\sales.accdb\t"
                                "C:\\Users\\user%4\\Sales\\sales.accdb\t%8\t1.250\t%9\t%10\t%11\n")
                     .arg(1 + i / 40000, 2, 10, QLatin1Char('0'))
                     .arg(i / 60 % 60, 2, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .arg(desk)
                     .arg(desk, 3, 10, QLatin1Char('0'))
                     .arg(failed ? "failed" : "updated")
                     .arg(failed ? 4 : 0)
                     .arg(failed ? 0 : 52428800)
                     .arg(failed ? "Error 70 (Permission denied)" : "")
                     .arg(QString(64, QLatin1Char("0123456789abcdef"[release % 16])))
                     .arg(release)
                     .toUtf8();
        if (chunk.size() > (1 << 20) && log.write(chunk) != chunk.size())
            return false;
        if (chunk.size() > (1 << 20))
            chunk.clear();
    }
    return log.write(chunk) == chunk.size();
}

// The summary of a report of `log`: every desk found, no line skipped.
QString summaryOf(const QString& program, const QString& log) {
    QProcess report;
    report.start(program, {QStringLiteral("--report"), log});
    if (!report.waitForFinished(60000) || report.exitCode() != 0)
        return QString();
    const QStringList lines = QString::fromUtf8(report.readAllStandardOutput()).split(u'\n');
    return lines.size() < 2 ? QString() : lines[lines.size() - 2];
}

double childrenPeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int timeReport(const QString& folder) {
    QTemporaryDir dir(folder + QStringLiteral("/tarsel-report-XXXXXX"));
    const QString program = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))
                                .absoluteFilePath(QStringLiteral("tarselcopy"));
    const QString small = dir.filePath(QStringLiteral("small.log"));
    const QString large = dir.filePath(QStringLiteral("large.log"));
    if (!dir.isValid() || !writeLog(small, 100000) || !writeLog(large, 1000000)) {
        std::printf("FAILED: the logs could not be written in %s\n", qPrintable(folder));
        return 1;
    }
    const QString summary = summaryOf(program, small);
    bool ok = summary.startsWith(QStringLiteral("300 desks: ")) &&
              !summary.contains(QStringLiteral("skipped"));
    double best = 1e9;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        ok = tool(program, {QStringLiteral("--report"), small}) && ok;
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    // The largest child so far is a report of the smaller log; then of the larger.
    const double smallMiB = childrenPeakMiB();
    ok = tool(program, {QStringLiteral("--report"), large}) && ok;
    const double largeMiB = childrenPeakMiB();

    const bool fast = best < 0.5;
    const bool bounded = largeMiB < smallMiB + 8;
    std::printf("tarselcopy --report: %d desks, best of %d runs: %s\n", Desks, Runs,
                qPrintable(summary));
    std::printf("  100,000 lines  %.3f s (target < 0.5 s) %s\n", best, verdict(fast));
    std::printf("  peak memory    %.1f MiB at 100,000 lines, %.1f MiB at 1,000,000 (target: "
                "within 8 MiB) %s\n\n",
                smallMiB, largeMiB, verdict(bounded));
    if (!ok)
        std::printf("FAILED: a report did not succeed\n");
    return ok && fast && bounded ? 0 : 1;
}

} // namespace tarsel::bench
