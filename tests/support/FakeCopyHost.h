#pragma once

#include "copy/CopyHost.h"
#include "support/FakeDialogs.h"

#include <QCoreApplication>
#include <QList>
#include <functional>

namespace tarsel::test {

// A window stand-in for the copy routines: records the progress values and counts the yields.
class FakeCopyHost : public CopyHost {
public:
    QList<double> progress;
    int yields = 0;
    bool cancel = false;
    FakeDialogs fakeDialogs;
    std::function<void(int)> onYield; // runs inside the n-th yield (1-based)

    void setProgress(double value) override { progress.append(value); }
    void yield() override {
        ++yields;
        if (onYield)
            onYield(yields);
        QCoreApplication::processEvents();
    }
    Dialogs& dialogs() override { return fakeDialogs; }
    bool cancelled() const override { return cancel; }
};

} // namespace tarsel::test
