#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>
#include <ctime>

#include "support/TestHost.h"

namespace tarsel::test {

// Sets TZ for the life of the object and restores it. POSIX rules ("CET-1CEST,M3.5.0,M10.5.0/3")
// need no zone database. Where a process cannot have a zone of its own
// (missing(Facility::ProcessTimeZone)), it does nothing and the machine's zone stays in force.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const QByteArray& tz)
        : active_(missing(Facility::ProcessTimeZone).isEmpty()),
          wasSet_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ")) {
        if (!active_)
            return;
        qputenv("TZ", tz);
        tzset();
    }
    ~ScopedTimeZone() {
        if (!active_)
            return;
        if (wasSet_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool active_;
    bool wasSet_;
    QByteArray old_;
};

// 100 ns ticks since 1601-01-01 UTC of an instant.
inline quint64 ticksOf(const QDateTime& instant) {
    return quint64(instant.toMSecsSinceEpoch() + 11'644'473'600'000LL) * 10'000;
}

} // namespace tarsel::test
