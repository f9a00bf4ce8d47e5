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

void AccessSweep::Timer1_Timer() {
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
            host_.reportError(e, ErrorTag);
        }
        return;
    }
    failureReported_ = false;
    host_.setLabel2(ReadyText);
    restFrom_ = clockMs_();
}

void AccessSweep::sweep() {
    const QString queryText = QStringLiteral("SELECT * FROM Win32_Process WHERE Name = '") +
                              ProcessName + QStringLiteral("'");
    const std::vector<platform::ProcessEntry> processes = table_.query(queryText);
    // Stops when the count is down to one: the last process is left to the next sweep.
    qint64 remaining = qint64(processes.size());
    for (const platform::ProcessEntry& process : processes) {
        if (table_.terminate(process.pid) != 0)
            continue;
        if (--remaining == 1)
            break;
    }
}

} // namespace tarsel
