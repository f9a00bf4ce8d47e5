#pragma once

#include "copy/CopyHost.h"
#include "core/EventLoopYield.h"
#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace tarsel::bench {

// A window stand-in that yields to the real event loop as the window does and records the longest
// time between two passes of the event loop (from start() to the first yield included). It answers
// Yes to the large-file prompt.
class BenchHost : public CopyHost {
public:
    qint64 longestGapNs = 0;

    BenchHost() { dialogs_.msgBoxAnswer = MsgAnswer::Yes; }

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
    Dialogs& dialogs() override { return dialogs_; }
    bool cancelled() const override { return false; }

private:
    EventLoopYield eventLoop_; // as the window yields
    QElapsedTimer clock_;
    qint64 last_ = 0;
    test::FakeDialogs dialogs_;
};

} // namespace tarsel::bench
