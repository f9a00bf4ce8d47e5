#pragma once

#include "copy/RunObserver.h"

#include <QList>

namespace tarsel::test {

// A face for the release run that records what the run reports.
class FakeRunObserver : public RunObserver {
public:
    QList<RunPhase> phases;
    QList<int> skippedNumbers;
    QList<double> progress;
    bool wholeFileAnswer = true;
    bool cancel = false; // what cancelled() answers

    void phase(RunPhase phase) override { phases.append(phase); }
    void skipped(const RunTimeError& error) override { skippedNumbers.append(error.number()); }
    void setProgress(double value) override { progress.append(value); }
    void yield() override {}
    bool confirmWholeFileCopy(const QString&) override { return wholeFileAnswer; }
    bool cancelled() const override { return cancel; }
};

} // namespace tarsel::test
