#pragma once

#include "sweep/SweepHost.h"

#include <QStringList>
#include <functional>

namespace tarsel::test {

// A face stand-in for the sweep: counts the sweeps and records the failures it was told of.
class FakeSweepHost : public SweepHost {
public:
    int sweeps = 0;
    QStringList failures;            // "Error <number> (<description>)"
    std::function<void()> onFailure; // runs inside the telling, as a modal box's event loop would

    void swept() override { ++sweeps; }
    void sweepFailed(const RunTimeError& e) override {
        failures.append(QStringLiteral("Error %1 (%2)").arg(e.number()).arg(e.description()));
        if (onFailure)
            onFailure();
    }
};

} // namespace tarsel::test
