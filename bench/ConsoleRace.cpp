#include "ConsoleRace.h"

#include "BenchFiles.h"
#include "BenchHost.h"
#include "Race.h"
#include "copy/ReleaseRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace tarsel::bench {

namespace {

// Installed beside the window's program: in the build, one folder up from the benchmark.
QString consoleProgram() {
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))
        .absoluteFilePath(QStringLiteral("tarselcopy"));
}

} // namespace

int raceConsoleProgram(qint64 size, const QString& folder) {
    const SourceFolder files(folder, size);
    if (!files.made())
        return 1;
    // The release as an administrator publishes it: from the build onto the master, which gives
    // the master its .sha256; --if-changed then decides by the two checksums.
    const QString source = files.path("master.mdb");
    const QString ours = files.path("app.mdb");
    const QString theirs = files.path("cp-copy");
    const QString program = consoleProgram();
    const QStringList update{"--quiet", "--source", source, "--target", ours};
    // What a careful administrator would script: copy, put it on the disk, read the copy back
    // from the disk (dd drops its cached pages) and compare.
    const QStringList script{
        "-c",
        R"(cp --reflink=never "$1" "$2" && sync && dd if="$2" iflag=nocache count=0 status=none && cmp "$1" "$2")",
        "sh", source, theirs};
    const auto oldVersion = [&] {
        QFile old(ours);
        return old.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               old.write("the old version") > 0;
    };
    bool ok = tool(program, {"--quiet", "--source", files.source(), "--target", source}) &&
              QFile::exists(source + ".sha256") && oldVersion() && tool(program, update) &&
              tool("sh", script);

    const Race updated =
        race({[&] { oldVersion(); }, [&] { return tool(program, update); }},
             {[&] { QFile::remove(theirs); }, [&] { return tool("sh", script); }}, ok);
    // The window's run through the real event loop, as its button starts it, less its pauses.
    BenchHost host;
    ReleaseRequest request;
    request.source = source;
    request.target = ours;
    const auto windowRun = [&] {
        try {
            host.start();
            return runRelease(request, host).bytes == size;
        } catch (const RunFailure& failure) {
            std::fprintf(stderr, "FAILED: the window's run: %s\n", failure.what());
            return false;
        }
    };
    const Race window =
        race({[&] { oldVersion(); }, windowRun},
             {[&] { QFile::remove(theirs); }, [&] { return tool("sh", script); }}, ok);
    const double windowGapMs = double(host.longestGapNs) / 1e6;
    // The target is current now: --if-changed reads two directory entries and two checksums.
    const Race current =
        race({[] {}, [&] { return tool(program, update + QStringList{"--if-changed"}); }},
             {[&] { oldVersion(); }, [&] { return tool(program, update); }}, ok);

    // A signed release as a desk takes it, with the publisher's key trusted. The release numbers
    // a desk keeps go into a store of the benchmark's own, never the user's.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(files.path("config")));
    const QString keys = QStringLiteral(TARSEL_MINISIGN_FIXTURES);
    const QString signedMaster = files.path("signed.mdb");
    const QStringList signedUpdate{"--quiet",
                                   "--source",
                                   signedMaster,
                                   "--target",
                                   ours,
                                   "--trusted-key",
                                   keys + QStringLiteral("/unprotected.pub")};
    ok = ok && tool(program, {"--quiet", "--sign-key", keys + QStringLiteral("/unprotected.key"),
                              "--source", files.source(), "--target", signedMaster});
    const Race signedRun =
        race({[&] { oldVersion(); }, [&] { return tool(program, signedUpdate); }},
             {[&] { QFile::remove(theirs); }, [&] { return tool("sh", script); }}, ok);

    const double mb = double(size) / 1e6;
    std::printf("tarselcopy against cp, sync, uncached cmp: %s random file in %s, best of %d runs "
                "taking turns\n",
                qPrintable(sizeText(size)), qPrintable(folder), Runs);
    printRace("update", "tarselcopy", "cp+sync+cmp", updated, mb, 0.70);
    printRace("window's run", "runRelease", "cp+sync+cmp", window, mb, 0.85);
    std::printf("        its longest gap between two yields: %.2f ms (target <= 50 ms) %s\n",
                windowGapMs, verdict(windowGapMs <= 50));
    printRace("current", "--if-changed", "tarselcopy update", current, mb, 0.01);
    printRace("signed update", "tarselcopy", "cp+sync+cmp", signedRun, mb, 0.70);
    std::printf("\n");
    if (!ok)
        std::printf("FAILED: a run did not succeed\n");
    return ok ? 0 : 1;
}

} // namespace tarsel::bench
