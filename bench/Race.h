#pragma once

#include <functional>
#include <vector>

namespace tarsel::bench {

constexpr int Runs = 5;

struct Contestant {
    std::function<void()> prepare; // untimed, before each run
    std::function<bool()> run;
};

// The seconds of every run, fastest first.
struct Times {
    std::vector<double> seconds;
    double best() const { return seconds.front(); }
    double worst() const { return seconds.back(); }
};

struct Race {
    Times ours;
    Times theirs;
    // Ours over theirs in each turn, sorted: where the disk's speed drifts between turns, their
    // median follows the program more than the ratio of the two best times does.
    std::vector<double> turnRatios;
    double medianTurnRatio() const { return turnRatios[turnRatios.size() / 2]; }
};

// `Runs` timed runs of each, taking turns so that both meet the same background load, each run
// after the dirty pages of the last one reached the disk. `ok` turns false when a run fails.
Race race(const Contestant& ours, const Contestant& theirs, bool& ok);

const char* verdict(bool met);

// "what  ours MB/s  theirs MB/s  ratio r (target <= t) ok" for a race over `mb` megabytes.
void printRace(const char* what, const char* ours, const char* theirs, const Race& race, double mb,
               double target);

} // namespace tarsel::bench
