#include "console/Wait.h"

#include "copy/Pause.h"
#include "core/RunTimeError.h"
#include "platform/Console.h"

#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <cmath>

namespace tarsel::console {

namespace {

// Ends the wait as soon as an interrupt is noted.
class InterruptibleWait : public Yielder {
public:
    void yield() override {
        if (platform::interrupted())
            throw userInterrupt();
    }
};

} // namespace

bool waitUnlessInterrupted(qint64 ms) {
    InterruptibleWait wait;
    try {
        Pause(QString::number(double(ms) / 1000.0, 'f', 3), wait);
    } catch (const RunTimeError&) {
        return false;
    }
    return !platform::interrupted();
}

qint64 randomMsUpTo(double seconds) {
    const auto highest = quint64(std::llround(std::max(seconds, 0.0) * 1000.0));
    return qint64(QRandomGenerator::global()->bounded(highest + 1));
}

} // namespace tarsel::console
