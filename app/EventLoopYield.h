#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

namespace tarsel {

// A yield to the event loop: every pending event is handled, but not more often than once a
// millisecond. The copy and the verification yield after every 32,767-byte block, which the system
// copies in a few microseconds, and each pass of the event loop asks the system for input, which
// costs about as much: a millisecond apart, nobody sees the difference, and the copy keeps its
// speed.
class EventLoopYield {
public:
    static constexpr qint64 IntervalNs = 1'000'000;

    // True when the event loop ran.
    bool operator()() {
        if (last_.isValid() && last_.nsecsElapsed() < IntervalNs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        last_.start();
        return true;
    }

private:
    QElapsedTimer last_;
};

} // namespace tarsel
