#include "sweep/EndAccess.h"

#include "platform/Clock.h"
#include "sweep/AccessSweep.h"

#include <map>
#include <utility>

namespace tarsel {

namespace {

constexpr int PollMs = 100;

std::vector<platform::ProcessEntry> ownAccessProcesses(platform::ProcessTable& table) {
    std::vector<platform::ProcessEntry> processes =
        table.query(QStringLiteral("SELECT * FROM Win32_Process WHERE Name = '") +
                    AccessSweep::ProcessName + QStringLiteral("'"));
    std::erase_if(processes, [](const platform::ProcessEntry& p) { return !p.ownedByUser; });
    return processes;
}

} // namespace

void endAccessProcesses(platform::ProcessTable& table, Yielder& yielder, qint64 graceMs,
                        const std::function<bool()>& cancelled) {
    // Whom we asked, by pid and start time, and when: a pid that passed to another process is
    // asked afresh.
    std::map<std::pair<qint64, quint64>, qint64> askedAt;
    for (;;) {
        if (cancelled())
            throw userInterrupt();
        bool waiting = false;
        bool askedNow = false;
        for (const platform::ProcessEntry& process : ownAccessProcesses(table)) {
            if (cancelled())
                throw userInterrupt();
            const std::pair who{process.pid, process.started};
            const qint64 now = platform::monotonicMs();
            const auto asked = askedAt.find(who);
            if (asked == askedAt.end()) {
                // First sight: asked to close, or ended at once when there is nothing to ask.
                if (table.requestClose(process.pid)) {
                    askedAt.emplace(who, now);
                    askedNow = true;
                } else {
                    table.terminate(process.pid);
                }
            } else if (now - asked->second < graceMs) {
                waiting = true;
            } else {
                table.terminate(process.pid);
            }
        }
        // One that closes at once is gone when listed again.
        if (askedNow)
            continue;
        if (!waiting)
            return;
        yielder.yield();
        platform::sleepMs(PollMs);
    }
}

} // namespace tarsel
