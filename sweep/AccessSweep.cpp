#include "sweep/AccessSweep.h"

#include <QScopeGuard>

namespace tarsel {

AccessSweep::AccessSweep(platform::ProcessTable& table, SweepHost& host,
                         std::function<qint64()> clockMs)
    : table_(table), host_(host), clockMs_(std::move(clockMs)) {}

// The rest replaces a pause inside the tick: ticks that fall in it do nothing, so whatever the
// tick interrupted (a copy, its progress bar, its own pause) runs on at full speed. A tick due
// just as the five seconds end still falls in them, as it did inside the pause, which keeps
// sweeps about 5.5 s apart.
bool AccessSweep::resting() const {
    return restFrom_ && clockMs_() - *restFrom_ <= RestMs;
}

void AccessSweep::tick() {
    // Guarded here rather than left to the toolkit: the error report's modal loop, or a slow
    // terminate, must not let a second tick in.
    if (inTick_)
        return;
    inTick_ = true;
    const auto leave = qScopeGuard([this] { inTick_ = false; });

    if (sweepDelay_ <= 100) {
        sweepDelay_ += 10;
        return;
    }
    if (resting())
        return;
    try {
        sweep();
    } catch (const RunTimeError& e) {
        // One report per run of failures: a table that cannot be read would otherwise raise a
        // box on every tick.
        if (!failureReported_) {
            failureReported_ = true;
            host_.sweepFailed(e);
        }
        return;
    }
    failureReported_ = false;
    host_.swept();
    restFrom_ = clockMs_();
}

// A process is asked to close first and ended only if it is still there at the next sweep, so
// that an Access writing to a shared back end can finish and leave it sound; one with nothing to
// ask is ended at once.
void AccessSweep::sweep() {
    const std::vector<platform::ProcessEntry> processes = table_.processesNamed(ProcessName);
    asked_.keepOnly(processes);

    // Counts ends, not asks, and stops when the count is down to one: the last process is left
    // to the next sweep.
    qint64 remaining = qint64(processes.size());
    for (const platform::ProcessEntry& process : processes) {
        if (!asked_.askedAt(process) && asked_.ask(table_, process, clockMs_()))
            continue;
        if (!asked_.end(table_, process))
            continue;
        if (--remaining == 1)
            break;
    }
}

} // namespace tarsel
