#include "copy/Pause.h"

#include "core/Clock.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace tarsel {

namespace {

// The number a text begins with, after leading blanks; 0 when it does not begin with one.
double leadingNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral(R"(^\s*([+-]?(?:\d+(?:\.\d*)?|\.\d+)))"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

// Short enough that the window never notices, long enough that the wait does not spin a core.
constexpr double NapMs = 5;

} // namespace

void Pause(const QString& seconds, Yielder& yielder) {
    const qint64 start = monotonicMs();
    const double waitMs = leadingNumber(seconds) * 1000.0;
    for (;;) {
        if (double(monotonicMs() - start) >= waitMs)
            return;
        yielder.yield();
        const double leftMs = waitMs - double(monotonicMs() - start);
        sleepMs(int(std::floor(std::min(NapMs, leftMs))));
    }
}

} // namespace tarsel
