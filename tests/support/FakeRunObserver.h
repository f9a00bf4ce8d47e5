#pragma once

#include "copy/RunObserver.h"
#include "support/FakeDialogs.h"

#include <QList>

namespace tarsel::test {

// A face for the release run that records what the run reports.
class FakeRunObserver : public RunObserver {
public:
    QList<RunPhase> phases;
    QList<int> skippedNumbers;
    QList<double> progress;
    FakeDialogs fakeDialogs;

    void phase(RunPhase phase) override { phases.append(phase); }
    void skipped(const RunTimeError& error) override { skippedNumbers.append(error.number()); }
    void setProgress(double value) override { progress.append(value); }
    void yield() override {}
    Dialogs& dialogs() override { return fakeDialogs; }
    bool cancelled() const override { return false; }
};

} // namespace tarsel::test
