#include "MemoryTable.h"

#include "BenchFiles.h"
#include "BenchHost.h"
#include "copy/CopyWithProgress.h"
#include "support/StagedCopy.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace tarsel::bench {

namespace {

constexpr char LinePrefix[] = "memory:";

struct Measure {
    double rssBefore = 0;
    double rssAfter = 0;
    double copySeconds = 0;
    double verifySeconds = 0;
    bool ok = false;
};

Measure measureChild(qint64 size, const QString& folder) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {"--rss-only", "--size", QString::number(size), "--dir", folder});
    child.waitForFinished(-1);
    Measure m;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (!line.startsWith(LinePrefix))
            continue;
        const QList<QByteArray> v = line.mid(sizeof LinePrefix - 1).simplified().split(' ');
        if (v.size() != 5)
            break;
        m = {v[0].toDouble(), v[1].toDouble(), v[2].toDouble(), v[3].toDouble(), v[4] == "1"};
    }
    m.ok = m.ok && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    return m;
}

} // namespace

int measureMemory(qint64 size, const QString& folder) {
    const SourceFolder files(folder, size);
    if (!files.made())
        return 1;
    Measure m;
    m.rssBefore = peakRssMiB();
    BenchHost host;
    QElapsedTimer timer;
    timer.start();
    // As a run copies: the release opened, a staging file made beside the target, the copy.
    test::StagedCopy staged(files.source(), files.path("copy"));
    const bool copied = !staged.copy(BlockSize, host);
    m.copySeconds = double(timer.nsecsElapsed()) / 1e9;
    timer.start();
    m.ok = copied && staged.verify(BlockSize, host);
    m.verifySeconds = double(timer.nsecsElapsed()) / 1e9;
    m.rssAfter = peakRssMiB();
    std::printf("%s %.1f %.1f %.6f %.6f %d\n", LinePrefix, m.rssBefore, m.rssAfter, m.copySeconds,
                m.verifySeconds, int(m.ok));
    return m.ok ? 0 : 1;
}

int memoryTable(const QString& folder) {
    const qint64 sizes[] = {qint64(1) << 20, qint64(16) << 20,  qint64(256) << 20,
                            qint64(1) << 30, LargeFileSize - 1, qint64(4) << 30};
    std::printf("Memory from 1 MiB to 4 GiB: a fresh process per size makes the file, copies it "
                "(at 2 GiB and more by the whole-file copy) and verifies it\n");
    std::printf("%-16s %-11s %10s %12s %16s %23s\n", "size", "copy", "copy MB/s", "verify MB/s",
                "peak RSS before", "after copy and verify");
    double lowest = 1e300;
    double highest = 0;
    bool ok = true;
    for (const qint64 size : sizes) {
        const Measure m = measureChild(size, folder);
        const double mb = double(size) / 1e6;
        std::printf("%-16s %-11s %10.0f %12.0f %12.1f MiB %19.1f MiB%s\n",
                    qPrintable(sizeText(size)), size >= LargeFileSize ? "whole file" : "in blocks",
                    mb / m.copySeconds, mb / m.verifySeconds, m.rssBefore, m.rssAfter,
                    m.ok ? "" : "  FAILED");
        std::fflush(stdout);
        lowest = std::min(lowest, m.rssAfter);
        highest = std::max(highest, m.rssAfter);
        ok = ok && m.ok;
    }
    std::printf("peak RSS after copy and verify: %.1f to %.1f MiB across all sizes\n\n", lowest,
                highest);
    return ok ? 0 : 1;
}

} // namespace tarsel::bench
