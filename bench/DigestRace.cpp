#include "DigestRace.h"

#include "BenchFiles.h"
#include "Race.h"
#include "platform/Checksum.h"
#include "platform/Files.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tarsel::bench {

namespace {

// Read as the release run reads: through the platform layer, a MiB at a time.
constexpr qint64 ReadSize = 1 << 20;

template <typename Add> void readWhole(const QString& path, Add add) {
    const platform::OpenFile file = platform::openForReading(path);
    std::vector<char> buffer(ReadSize);
    for (qint64 offset = 0;;) {
        const qint64 n = platform::readAt(file, buffer.data(), ReadSize, offset);
        if (n == 0)
            return;
        add(buffer.data(), n);
        offset += n;
    }
}

QByteArray sha256Of(const QString& path) {
    platform::Sha256 sha;
    readWhole(path, [&](const char* bytes, qint64 n) { sha.add(bytes, n); });
    return sha.finish().toHex();
}

QByteArray qtDigestOf(const QString& path) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    readWhole(path, [&](const char* bytes, qint64 n) { hash.addData({bytes, n}); });
    return hash.result().toHex();
}

QByteArray sha256sumOf(const QString& path) {
    QProcess run;
    run.start(QStringLiteral("sha256sum"), {path});
    if (!run.waitForFinished(-1) || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0)
        return QByteArray();
    return run.readAllStandardOutput().left(64);
}

} // namespace

int raceDigest(qint64 size, const QString& folder) {
    const SourceFolder files(folder, size);
    if (!files.made())
        return 1;
    const QString source = files.source();
    // The untimed first runs warm the cache and say what every digest must be.
    const QByteArray expected = sha256sumOf(source);
    bool ok = !expected.isEmpty() && sha256Of(source) == expected;
    const auto nothing = [] {};
    const Race digest = race({nothing, [&] { return sha256Of(source) == expected; }},
                             {nothing, [&] { return sha256sumOf(source) == expected; }}, ok);

    // Qt's own, beside them: fewer runs, as it is the slowest by far.
    double qtBest = 1e300;
    for (int i = 0; i < 2; ++i) {
        QElapsedTimer timer;
        timer.start();
        ok = qtDigestOf(source) == expected && ok;
        qtBest = std::min(qtBest, double(timer.nsecsElapsed()) / 1e9);
    }

    const double mb = double(size) / 1e6;
    std::printf("SHA-256 against sha256sum: %s random file in %s, best of %d runs taking turns, "
                "warm cache\n",
                qPrintable(sizeText(size)), qPrintable(folder), Runs);
    printRace("digest", "Sha256", "sha256sum", digest, mb, 1.00);
    std::printf(
        "        QCryptographicHash %.0f MB/s (best of 2): Sha256 is %.1f times as fast\n\n",
        mb / qtBest, qtBest / digest.ours.best());
    if (!ok)
        std::printf("FAILED: a digest differed from sha256sum's\n");
    return ok ? 0 : 1;
}

} // namespace tarsel::bench
