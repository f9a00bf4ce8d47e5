#include "SweepRun.h"

#include "BenchFiles.h"
#include "BenchHost.h"
#include "support/StagedCopy.h"
#include "sweep/AccessSweep.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unistd.h>

namespace tarsel::bench {

namespace {

// Three Access processes that are back by the next sweep, with no window to ask; every terminate
// succeeds.
class StandingProcessTable : public platform::ProcessTable {
public:
    int queries = 0;
    int terminated = 0;

    std::vector<platform::ProcessEntry> processesNamed(const QString&) override {
        ++queries;
        return {{101, AccessSweep::ProcessName},
                {102, AccessSweep::ProcessName},
                {103, AccessSweep::ProcessName}};
    }
    std::optional<std::vector<platform::ProcessEntry>> holdersOf(const QStringList&) override {
        return std::nullopt;
    }
    bool requestClose(qint64) override { return false; }
    int terminate(qint64) override {
        ++terminated;
        return 0;
    }
};

class QuietSweepHost : public SweepHost {
public:
    int errors = 0;
    void swept() override {}
    void sweepFailed(const RunTimeError&) override { ++errors; }
};

struct Phase {
    int rounds = 0;
    double seconds = 0;
    qint64 longestGapNs = 0;
    int sweeps = 0;
    bool ok = true;
};

struct Run {
    Phase copy;
    Phase verify;
};

// Runs `work` (after `prepare`, untimed) `rounds` times back to back, or until `seconds` of work
// when `rounds` is 0. The sweeps that ran are the table's new queries, all of them inside yields.
template <typename Prepare, typename Work>
Phase repeat(int rounds, double seconds, const StandingProcessTable& table, BenchHost& host,
             Prepare prepare, Work work) {
    Phase phase;
    const int queriesBefore = table.queries;
    while (rounds > 0 ? phase.rounds < rounds : phase.seconds < seconds) {
        prepare();
        host.longestGapNs = 0;
        host.start();
        QElapsedTimer timer;
        timer.start();
        phase.ok = work() && phase.ok;
        phase.seconds += double(timer.nsecsElapsed()) / 1e9;
        phase.longestGapNs = std::max(phase.longestGapNs, host.longestGapNs);
        ++phase.rounds;
    }
    phase.sweeps = table.queries - queriesBefore;
    return phase;
}

// Copies over and over into a staging file beside `target`, as a run does, then verifies the last
// copy over and over: half of `seconds` each, or as many rounds as `like` ran.
Run copyThenVerify(const QString& source, const QString& target, double seconds, const Run* like,
                   const StandingProcessTable& table) {
    BenchHost host;
    std::optional<test::StagedCopy> staged;
    Run run;
    run.copy = repeat(
        like ? like->copy.rounds : 0, seconds / 2, table, host, [&] { staged.reset(); },
        [&] {
            staged.emplace(source, target, &host);
            return !staged->copy(BlockSize, host);
        });
    run.verify = repeat(
        like ? like->verify.rounds : 0, seconds / 2, table, host, [] {},
        [&] { return staged->verify(BlockSize, host); });
    return run;
}

void printRun(const char* name, const Run& run, double mb) {
    std::printf("%-15s %10.0f %12.0f   %6.2f %8.2f %6d %7d\n", name,
                mb * run.copy.rounds / run.copy.seconds,
                mb * run.verify.rounds / run.verify.seconds, double(run.copy.longestGapNs) / 1e6,
                double(run.verify.longestGapNs) / 1e6, run.copy.sweeps, run.verify.sweeps);
}

} // namespace

int runWithSweeps(qint64 size, const QString& folder, double seconds) {
    const SourceFolder files(folder, size);
    if (!files.made())
        return 1;
    const QString source = files.source();
    const QString target = files.path("copy");
    StandingProcessTable table;
    ::sync();
    const Run alone = copyThenVerify(source, target, seconds, nullptr, table);

    QuietSweepHost sweepHost;
    AccessSweep sweep(table, sweepHost);
    // Past the ticks that only count, so that the first tick of the run sweeps.
    while (sweep.SweepDelay() <= 100)
        sweep.tick();
    int ticks = 0;
    QTimer timer;
    timer.setInterval(500);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        sweep.tick();
    });
    ::sync();
    timer.start();
    const Run swept = copyThenVerify(source, target, seconds, &alone, table);
    timer.stop();

    const double mb = double(size) / 1e6;
    const double gapMs = double(std::max(swept.copy.longestGapNs, swept.verify.longestGapNs)) / 1e6;
    std::printf("Sweeps during the copy and the verification: %s random file, copied %d times "
                "back to back, then verified %d times, warm cache\n",
                qPrintable(sizeText(size)), alone.copy.rounds, alone.verify.rounds);
    std::printf("%-15s %10s %12s   %-15s %s\n", "", "copy MB/s", "verify MB/s", "longest gap ms",
                "sweeps");
    std::printf("%-15s %10s %12s   %6s %8s %6s %7s\n", "", "", "", "copy", "verify", "copy",
                "verify");
    printRun("without sweeps", alone, mb);
    printRun("with sweeps", swept, mb);
    std::printf("%d timer ticks, %d sweeps (%.1f s of copying and verifying), %d processes "
                "ended, %d sweep errors\n",
                ticks, table.queries, swept.copy.seconds + swept.verify.seconds, table.terminated,
                sweepHost.errors);
    std::printf("longest gap with sweeps %.2f ms (target <= 50 ms; a sweep that waited out its "
                "%lld ms rest inside the tick would make it %lld ms) %s\n\n",
                gapMs, AccessSweep::RestMs, AccessSweep::RestMs, gapMs <= 50 ? "ok" : "MISSED");
    const bool ok = alone.copy.ok && alone.verify.ok && swept.copy.ok && swept.verify.ok &&
                    table.queries > 0 && sweepHost.errors == 0;
    if (!ok)
        std::printf("FAILED: a copy or a verification did not succeed, or no sweep ran\n");
    return ok ? 0 : 1;
}

} // namespace tarsel::bench
