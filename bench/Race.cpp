#include "Race.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace tarsel::bench {

namespace {

// "name  best MB/s (slowest run MB/s)" for one contestant.
void printContestant(const char* name, const Times& times, double mb) {
    std::printf("  %-20s %7.0f MB/s (slowest run %5.0f)", name, mb / times.best(),
                mb / times.worst());
}

} // namespace

Race race(const Contestant& ours, const Contestant& theirs, bool& ok) {
    const auto timed = [&](const Contestant& contestant) {
        contestant.prepare();
        ::sync();
        QElapsedTimer timer;
        timer.start();
        ok = contestant.run() && ok;
        return double(timer.nsecsElapsed()) / 1e9;
    };
    Race result;
    for (int i = 0; i < Runs; ++i) {
        result.ours.seconds.push_back(timed(ours));
        result.theirs.seconds.push_back(timed(theirs));
        result.turnRatios.push_back(result.ours.seconds.back() / result.theirs.seconds.back());
    }
    std::sort(result.turnRatios.begin(), result.turnRatios.end());
    std::sort(result.ours.seconds.begin(), result.ours.seconds.end());
    std::sort(result.theirs.seconds.begin(), result.theirs.seconds.end());
    return result;
}

const char* verdict(bool met) {
    return met ? "ok" : "MISSED";
}

void printRace(const char* what, const char* ours, const char* theirs, const Race& race, double mb,
               double target) {
    const double ratio = race.ours.best() / race.theirs.best();
    std::printf("%-7s", what);
    printContestant(ours, race.ours, mb);
    printContestant(theirs, race.theirs, mb);
    std::printf("  ratio %.2f (target <= %.2f) %s; median of the turns %.2f\n", ratio, target,
                verdict(ratio <= target), race.medianTurnRatio());
}

} // namespace tarsel::bench
