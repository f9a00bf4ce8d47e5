#pragma once

#include "core/Dialogs.h"
#include "sweep/SweepHost.h"

#include <QStringList>
#include <functional>

namespace tarsel::test {

// A window stand-in for the sweep: records the status texts and the error reports as shown.
class FakeSweepHost : public SweepHost {
public:
    QStringList labels;
    QStringList reports;            // the full error report texts
    std::function<void()> onReport; // runs inside the report, as a modal box's event loop would

    void setLabel2(const QString& text) override { labels.append(text); }
    void reportError(const RunTimeError& e, const QString& tag) override {
        reports.append(errorReportText(e, tag));
        if (onReport)
            onReport();
    }
};

} // namespace tarsel::test
