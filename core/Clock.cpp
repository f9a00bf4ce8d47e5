#include "core/Clock.h"

#include <QElapsedTimer>
#include <QThread>

namespace tarsel {

qint64 monotonicMs() {
    // A started timer's reference time is the system's monotonic clock on every platform.
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

void sleepMs(int ms) {
    if (ms > 0)
        QThread::msleep(ulong(ms));
}

QDateTime nowLocal() {
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    return now;
}

} // namespace tarsel
