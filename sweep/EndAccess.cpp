#include "sweep/EndAccess.h"

#include "core/Clock.h"
#include "sweep/AccessSweep.h"
#include "sweep/LockFile.h"

#include <map>
#include <optional>
#include <utility>

namespace tarsel {

namespace {

constexpr int PollMs = 100;

bool isAccess(const platform::ProcessEntry& process) {
    return process.name.compare(AccessSweep::ProcessName, Qt::CaseInsensitive) == 0;
}

// This user's Access processes among the holders of `files`; all of them when nobody can tell who
// holds the files.
std::vector<platform::ProcessEntry> accessInTheWay(platform::ProcessTable& table,
                                                   const QStringList& files) {
    std::vector<platform::ProcessEntry> processes;
    if (std::optional<std::vector<platform::ProcessEntry>> holders = table.holdersOf(files)) {
        processes = std::move(*holders);
        std::erase_if(processes, [](const platform::ProcessEntry& p) { return !isAccess(p); });
    } else {
        processes = table.processesNamed(AccessSweep::ProcessName);
    }
    std::erase_if(processes, [](const platform::ProcessEntry& p) { return !p.ownedByUser; });
    return processes;
}

} // namespace

void endAccessProcesses(platform::ProcessTable& table, const QString& target, Yielder& yielder,
                        qint64 graceMs, const std::function<bool()>& cancelled) {
    const QStringList files = frontEndFiles(target);
    // Whom we asked, by pid and start time, and when: a pid that passed to another process is
    // asked afresh.
    std::map<std::pair<qint64, quint64>, qint64> askedAt;
    for (;;) {
        if (cancelled())
            throw userInterrupt();
        bool waiting = false;
        bool askedNow = false;
        for (const platform::ProcessEntry& process : accessInTheWay(table, files)) {
            if (cancelled())
                throw userInterrupt();
            const std::pair who{process.pid, process.started};
            const qint64 now = monotonicMs();
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
        // One that closes at once is gone, or no longer in the way, when listed again.
        if (askedNow)
            continue;
        if (!waiting)
            return;
        yielder.yield();
        sleepMs(PollMs);
    }
}

} // namespace tarsel
