#pragma once

#include "app/ReleaseHost.h"
#include "support/FakeDialogs.h"
#include "support/FakeProcessTable.h"

#include <QStringList>

namespace tarsel::test {

// The window as the release run sees it, with every text it writes recorded.
class FakeReleaseHost : public ReleaseHost {
public:
    QString source, target, sourceModified;
    int verify = 1;
    qint32 block = 32767;
    QStringList label2, status;
    QList<bool> enabled;
    int ended = 0;
    bool cancel = false;
    int yields = 0;
    QList<double> progress;
    FakeDialogs fakeDialogs;
    FakeProcessTable processes;       // holds nothing unless told
    std::function<void(int)> onYield; // runs inside the n-th yield (1-based)

    QString sourceText() const override { return source; }
    QString targetText() const override { return target; }
    QString sourceModifiedText() const override { return sourceModified; }
    // The tests set the modification text themselves; the window's refresh is tested with it.
    void refreshSourceDates() override {}
    int verifyValue() const override { return verify; }
    qint32 blockSize() const override { return block; }
    void setLabel2(const QString& text) override { label2.append(text); }
    void setStatusText(const QString& text) override { status.append(text); }
    void SetEnabled(bool on) override { enabled.append(on); }
    void endProgram() override { ++ended; }
    void setProgress(double value) override { progress.append(value); }
    void yield() override {
        ++yields;
        if (onYield)
            onYield(yields);
    }
    Dialogs& dialogs() override { return fakeDialogs; }
    platform::ProcessTable& processTable() override { return processes; }
    bool cancelled() const override { return cancel; }
};

} // namespace tarsel::test
