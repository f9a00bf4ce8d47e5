#include "CopyRace.h"

#include "BenchFiles.h"
#include "BenchHost.h"
#include "Race.h"
#include "support/StagedCopy.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace tarsel::bench {

namespace {

// The best of `Runs` times that the copy's yields take on their own, one per full block of a
// `size`-byte file with nothing copied: the share of the copy's time that cp never spends.
double yieldsAlone(qint64 size, BenchHost& host) {
    double best = 1e300;
    for (int i = 0; i < Runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        for (qint64 block = 0; block < size / BlockSize; ++block) {
            host.setProgress(0);
            host.yield();
        }
        best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
    }
    return best;
}

} // namespace

int raceAgainstTools(qint64 size, const QString& folder) {
    const SourceFolder files(folder, size);
    if (!files.made())
        return 1;
    const QString source = files.source();
    const QString ours = files.path("copy");
    const QString theirs = files.path("cp-copy");
    BenchHost host;
    // As a run copies: the release opened, a staging file made beside the target, the copy.
    std::optional<test::StagedCopy> staged;
    const auto copyAsTheRun = [&] {
        staged.emplace(source, ours, &host);
        return !staged->copy(BlockSize, host);
    };
    // One untimed run of each warms the cache and the code paths equally.
    bool ok = copyAsTheRun() && tool("cp", {"--reflink=never", source, theirs}) &&
              staged->verify(BlockSize, host) && tool("cmp", {source, theirs});
    const double rssBefore = peakRssMiB();

    const auto nothing = [] {};
    host.longestGapNs = 0;
    const Race copy = race({[&] { staged.reset(); },
                            [&] {
                                host.start();
                                return copyAsTheRun();
                            }},
                           {[&] { QFile::remove(theirs); },
                            [&] {
                                return tool("cp", {"--reflink=never", source, theirs});
                            }},
                           ok);
    const double copyGapMs = double(host.longestGapNs) / 1e6;
    const double yieldSeconds = yieldsAlone(size, host);

    host.longestGapNs = 0;
    const Race verify = race({nothing,
                              [&] {
                                  host.start();
                                  return staged->verify(BlockSize, host);
                              }},
                             {nothing,
                              [&] {
                                  return tool("cmp", {source, theirs});
                              }},
                             ok);
    double verifyGapMs = double(host.longestGapNs) / 1e6;

    host.longestGapNs = 0;
    const Race digested = race({nothing,
                                [&] {
                                    host.start();
                                    platform::Sha256 digest;
                                    return staged->verify(BlockSize, host, &digest);
                                }},
                               {nothing,
                                [&] {
                                    return tool("cmp", {source, theirs});
                                }},
                               ok);
    verifyGapMs = std::max(verifyGapMs, double(host.longestGapNs) / 1e6);

    const double mb = double(size) / 1e6;
    std::printf("Copy and verification against cp and cmp: %s random file in %s, best of %d runs "
                "taking turns, warm cache, sync before each run; ours copies into a staging file "
                "and verifies the copy as storage holds it, as a run does\n",
                qPrintable(sizeText(size)), qPrintable(folder), Runs);
    printRace("copy", "CopyWithProgress", "cp --reflink=never", copy, mb, 0.80);
    std::printf("        of which its %lld yields alone take %.0f ms, %.2f of cp's best time\n",
                size / BlockSize, yieldSeconds * 1e3, yieldSeconds / copy.theirs.best());
    printRace("verify", "ValidateFile", "cmp", verify, mb, 1.20);
    printRace("verify with the digest", "ValidateFile + Sha256", "cmp", digested, mb, 1.20);
    std::printf("longest gap between two yields: copy %.2f ms, verify %.2f ms "
                "(target <= 50 ms) %s\n",
                copyGapMs, verifyGapMs, verdict(std::max(copyGapMs, verifyGapMs) <= 50));
    std::printf("peak RSS: %.1f MiB (%.1f MiB after the untimed runs)\n\n", peakRssMiB(),
                rssBefore);
    if (!ok)
        std::printf("FAILED: a copy or a comparison did not succeed\n");
    return ok ? 0 : 1;
}

} // namespace tarsel::bench
