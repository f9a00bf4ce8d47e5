#pragma once

#include "core/Clock.h"
#include "platform/ProcessTable.h"
#include "sweep/AskedAccess.h"
#include "sweep/SweepHost.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace tarsel {

// Ends running Access processes, driven by a 500 ms timer (the window's, or any other face's). The
// first eleven ticks only count; from then on each tick sweeps, except during the five-second rest
// after a sweep. A sweep asks each process to close, and ends it if it is still there at the next.
class AccessSweep {
public:
    static inline const QString ProcessName = QStringLiteral("MSACCESS.EXE");
    static constexpr qint64 RestMs = 5000;

    AccessSweep(platform::ProcessTable& table, SweepHost& host,
                std::function<qint64()> clockMs = monotonicMs);

    // One tick of the face's 500 ms timer. Returns at once while another tick is being handled
    // or during the rest.
    void tick();

    qint16 SweepDelay() const { return sweepDelay_; }
    bool resting() const;

private:
    void sweep();

    platform::ProcessTable& table_;
    SweepHost& host_;
    std::function<qint64()> clockMs_;
    qint16 sweepDelay_ = 0;
    bool inTick_ = false;
    bool failureReported_ = false;
    std::optional<qint64> restFrom_;
    AskedAccess asked_; // asked to close, and still listed at the latest sweep
};

} // namespace tarsel
