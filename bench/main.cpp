// Benchmarks of the block copy and the verification: against cp and cmp, tarselcopy against cp,
// sync and cmp, SHA-256 against sha256sum, the copy with the Access sweep firing meanwhile, the
// peak memory from 1 MiB to 4 GiB, what a signature check adds, and tarselcopy --report over a
// large log. Without a mode option, all.

#include "BenchFiles.h"
#include "ConsoleRace.h"
#include "CopyRace.h"
#include "DigestRace.h"
#include "MemoryTable.h"
#include "ReportRun.h"
#include "SignatureCheck.h"
#include "SweepRun.h"
#include "core/RunTimeError.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

using namespace tarsel::bench;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times CopyWithProgress and ValidateFile against cp and cmp, tarselcopy against cp, sync "
        "and cmp, SHA-256 against sha256sum, the copy with sweeps firing, the peak memory by "
        "file size, a signature check, and tarselcopy --report over a large log. Without a mode "
        "option it runs them all."));
    parser.addHelpOption();
    parser.addOption({"race", "Copy and verification against cp and cmp."});
    parser.addOption({"sweeps", "Copy and verification without and with the sweep timer."});
    parser.addOption(
        {"console", "A tarselcopy update against cp, sync and cmp, and --if-changed."});
    parser.addOption(
        {"digest", "SHA-256 against sha256sum, with Qt's QCryptographicHash beside them."});
    parser.addOption({"report", "tarselcopy --report over 100,000 log lines, and its memory."});
    parser.addOption({"memory", "Peak memory from 1 MiB to 4 GiB, a fresh process per size."});
    parser.addOption({"signature", "What checking a release's signature adds to a run."});
    parser.addOption({"size",
                      "File size for --race, --digest and --sweeps: bytes, or with K, M or G "
                      "(default 1G).",
                      "size", "1G"});
    parser.addOption({"sweep-seconds",
                      "Seconds of copying and verifying for --sweeps "
                      "(default 20).",
                      "seconds", "20"});
    parser.addOption({"dir", "Folder for the test files (default: the temporary folder).", "folder",
                      QDir::tempPath()});
    QCommandLineOption rssOnly("rss-only", "One size of --memory, in the child process.");
    rssOnly.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(rssOnly);
    parser.process(app);

    const qint64 size = parseSize(parser.value("size"));
    const double seconds = parser.value("sweep-seconds").toDouble();
    if (size <= 0 || seconds <= 0) {
        std::fprintf(stderr, "--size: a number of bytes, or with K, M or G; "
                             "--sweep-seconds: a number above 0\n");
        return 2;
    }
    const QString folder = parser.value("dir");
    const bool all = !parser.isSet("race") && !parser.isSet("sweeps") && !parser.isSet("memory") &&
                     !parser.isSet("console") && !parser.isSet("digest") &&
                     !parser.isSet("signature") && !parser.isSet("report");
    // Run inside the event loop, as the window does.
    int result = 0;
    QTimer::singleShot(0, &app, [&] {
        try {
            if (parser.isSet(rssOnly)) {
                result = measureMemory(size, folder);
            } else {
                if (all || parser.isSet("race"))
                    result |= raceAgainstTools(size, folder);
                if (all || parser.isSet("console"))
                    result |= raceConsoleProgram(size, folder);
                if (all || parser.isSet("report"))
                    result |= timeReport(folder);
                if (all || parser.isSet("digest"))
                    result |= raceDigest(size, folder);
                if (all || parser.isSet("sweeps"))
                    result |= runWithSweeps(size, folder, seconds);
                if (all || parser.isSet("signature"))
                    result |= timeSignatureCheck(folder);
                if (all || parser.isSet("memory"))
                    result |= memoryTable(folder);
            }
        } catch (const tarsel::RunTimeError& e) {
            // A file the run's copy could not open or make: the benchmark has nothing to time.
            std::fprintf(stderr, "FAILED: error %d (%s)\n", e.number(), e.what());
            result = 1;
        }
        app.quit();
    });
    app.exec();
    return result;
}
