#pragma once

#include "copy/CopyHost.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>
#include <functional>

namespace tarsel::test {

// A window stand-in for the copy routines: records the progress values, counts the yields, and
// answers the whole-file question from a script.
class FakeCopyHost : public CopyHost {
public:
    QList<double> progress;
    int yields = 0;
    bool cancel = false;
    bool wholeFileAnswer = true;
    QStringList wholeFileAsked;       // the paths the question named
    std::function<void(int)> onYield; // runs inside the n-th yield (1-based)

    void setProgress(double value) override { progress.append(value); }
    void yield() override {
        ++yields;
        if (onYield)
            onYield(yields);
        QCoreApplication::processEvents();
    }
    bool confirmWholeFileCopy(const QString& path) override {
        wholeFileAsked.append(path);
        return wholeFileAnswer;
    }
    bool cancelled() const override { return cancel; }
};

} // namespace tarsel::test
