// Times the block copy and the verification against `cp --reflink=never` and `cmp` on the same
// random file, through the real event loop, and reports the longest gap between two yields and the
// peak memory.

#include "copy/CopyWithProgress.h"
#include "copy/ValidateFile.h"
#include "support/FakeDialogs.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace tarsel;

namespace {

constexpr qint32 BlockSize = 32767;
constexpr int Runs = 5;

// A window stand-in that yields to the real event loop and records the longest time between two
// yields (from the start of a run to its first yield included).
class BenchHost : public CopyHost {
public:
    qint64 longestGapNs = 0;

    void start() {
        clock_.start();
        last_ = 0;
    }
    void setProgress(double) override {}
    void yield() override {
        QCoreApplication::processEvents();
        const qint64 now = clock_.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - last_);
        last_ = now;
    }
    Dialogs& dialogs() override { return dialogs_; }
    bool cancelled() const override { return false; }

private:
    QElapsedTimer clock_;
    qint64 last_ = 0;
    test::FakeDialogs dialogs_;
};

// "1G", "512M", "64K" or a number of bytes; 0 when unreadable.
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

bool makeRandomFile(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint64 state = 0x9E3779B97F4A7C15ull;
    for (qint64 done = 0; done < size; done += chunk.size()) {
        auto* words = reinterpret_cast<quint64*>(chunk.data());
        for (qsizetype i = 0; i < chunk.size() / 8; ++i) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            words[i] = state;
        }
        const qint64 length = std::min<qint64>(chunk.size(), size - done);
        if (file.write(chunk.constData(), length) != length)
            return false;
    }
    return true;
}

bool tool(const QString& program, const QStringList& arguments) {
    return QProcess::execute(program, arguments) == 0;
}

struct Contestant {
    std::function<void()> prepare; // untimed, before each run
    std::function<bool()> run;
};

struct Race {
    double ours = 1e300;
    double theirs = 1e300;
};

// The best of `Runs` timed runs of each, taking turns so that both meet the same background load,
// each run after the dirty pages of the last one reached the disk.
Race race(const Contestant& ours, const Contestant& theirs, bool& ok) {
    const auto timed = [&](const Contestant& contestant) {
        contestant.prepare();
        ::sync();
        QElapsedTimer timer;
        timer.start();
        ok = contestant.run() && ok;
        return double(timer.nsecsElapsed()) / 1e9;
    };
    Race best;
    for (int i = 0; i < Runs; ++i) {
        best.ours = std::min(best.ours, timed(ours));
        best.theirs = std::min(best.theirs, timed(theirs));
    }
    return best;
}

double peakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

const char* verdict(bool met) {
    return met ? "ok" : "MISSED";
}

int bench(qint64 size, const QString& folder) {
    QTemporaryDir dir(folder + QStringLiteral("/tarsel_bench-XXXXXX"));
    if (!dir.isValid() || !makeRandomFile(dir.filePath("source"), size)) {
        std::fprintf(stderr, "cannot make a %lld-byte file in %s\n", size, qPrintable(folder));
        return 1;
    }
    const QString source = dir.filePath("source");
    const QString ours = dir.filePath("copy");
    const QString theirs = dir.filePath("cp-copy");
    // One untimed run of each warms the cache and the code paths equally.
    BenchHost host;
    bool ok = !CopyWithProgress(source, ours, BlockSize, host) &&
              tool("cp", {"--reflink=never", source, theirs}) &&
              ValidateFile(source, ours, BlockSize, host) && tool("cmp", {source, theirs});
    const double rssBefore = peakRssMiB();

    const auto nothing = [] {};
    host.longestGapNs = 0;
    const Race copy = race({[&] { QFile::remove(ours); },
                            [&] {
                                host.start();
                                return !CopyWithProgress(source, ours, BlockSize, host);
                            }},
                           {[&] { QFile::remove(theirs); },
                            [&] {
                                return tool("cp", {"--reflink=never", source, theirs});
                            }},
                           ok);
    const double copyGapMs = double(host.longestGapNs) / 1e6;

    host.longestGapNs = 0;
    const Race verify = race({nothing,
                              [&] {
                                  host.start();
                                  return ValidateFile(source, ours, BlockSize, host);
                              }},
                             {nothing,
                              [&] {
                                  return tool("cmp", {source, theirs});
                              }},
                             ok);
    const double verifyGapMs = double(host.longestGapNs) / 1e6;

    const double mb = double(size) / 1e6;
    const double copyRatio = copy.ours / copy.theirs;
    const double verifyRatio = verify.ours / verify.theirs;
    const double longestGapMs = std::max(copyGapMs, verifyGapMs);
    std::printf("tarsel_bench: %.0f MiB random file in %s, best of %d runs taking turns, "
                "warm cache, sync before each run\n",
                double(size) / (1 << 20), qPrintable(folder), Runs);
    std::printf("copy    CopyWithProgress %8.1f MB/s   cp --reflink=never %8.1f MB/s   "
                "ratio %.2f (target <= 1.10) %s\n",
                mb / copy.ours, mb / copy.theirs, copyRatio, verdict(copyRatio <= 1.10));
    std::printf("verify  ValidateFile     %8.1f MB/s   cmp                %8.1f MB/s   "
                "ratio %.2f (target <= 1.20) %s\n",
                mb / verify.ours, mb / verify.theirs, verifyRatio, verdict(verifyRatio <= 1.20));
    std::printf("longest gap between two yields: copy %.2f ms, verify %.2f ms "
                "(target <= 50 ms) %s\n",
                copyGapMs, verifyGapMs, verdict(longestGapMs <= 50));
    std::printf("peak RSS: %.1f MiB (%.1f MiB after the untimed runs)\n", peakRssMiB(), rssBefore);
    if (!ok)
        std::printf("FAILED: a copy or a comparison did not succeed\n");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times CopyWithProgress and ValidateFile against cp and cmp."));
    parser.addHelpOption();
    parser.addOption({"size", "File size: bytes, or with K, M or G (default 1G).", "size", "1G"});
    parser.addOption({"dir", "Folder for the test files (default: the temporary folder).", "folder",
                      QDir::tempPath()});
    parser.process(app);
    const qint64 size = parseSize(parser.value("size"));
    if (size <= 0) {
        std::fprintf(stderr, "--size: a number of bytes, or with K, M or G\n");
        return 2;
    }
    // Run inside the event loop, as the window does.
    int result = 0;
    QTimer::singleShot(0, &app, [&] {
        result = bench(size, parser.value("dir"));
        app.quit();
    });
    app.exec();
    return result;
}
