#pragma once

#include "platform/Clock.h"
#include "platform/ProcessTable.h"
#include "sweep/SweepHost.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace tarsel {

// Ends running Access processes, driven by the window's 500 ms timer. The first eleven ticks only
// count; from then on each tick sweeps, except during the five-second rest after a sweep.
class AccessSweep {
public:
    static inline const QString ProcessName = QStringLiteral("MSACCESS.EXE");
    static inline const QString ReadyText = QStringLiteral("Ready For Copy.......");
    static inline const QString ErrorTag = QStringLiteral("(Timer1_Timer) of (frmCopyRoutine).");
    static constexpr qint64 RestMs = 5000;

    AccessSweep(platform::ProcessTable& table, SweepHost& host,
                std::function<qint64()> clockMs = platform::monotonicMs);

    // The tick handler. Returns at once while another tick is being handled or during the rest.
    void Timer1_Timer();

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
};

} // namespace tarsel
