#pragma once

#include "app/EventLoopYield.h"
#include "copy/RunObserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace tarsel::bench {

// A window stand-in that yields to the real event loop as the window does and records the longest
// time between two passes of the event loop (from start() to the first yield included). It answers
// Yes to the large-file question, and as a run's face it waits at no phase: the window's pauses
// are for the eye, not the run's work.
class BenchHost : public RunObserver {
public:
    qint64 longestGapNs = 0;

    void start() {
        clock_.start();
        last_ = 0;
    }
    void setProgress(double) override {}
    void yield() override {
        if (!eventLoop_())
            return;
        const qint64 now = clock_.nsecsElapsed();
        longestGapNs = std::max(longestGapNs, now - last_);
        last_ = now;
    }
    bool confirmWholeFileCopy(const QString&) override { return true; }
    bool cancelled() const override { return false; }
    void phase(RunPhase) override {}
    void skipped(const RunTimeError&) override {}

private:
    EventLoopYield eventLoop_; // as the window yields
    QElapsedTimer clock_;
    qint64 last_ = 0;
};

} // namespace tarsel::bench
