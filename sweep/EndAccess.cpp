#include "sweep/EndAccess.h"

#include "core/Clock.h"
#include "sweep/AccessSweep.h"
#include "sweep/LockFile.h"

#include <optional>
#include <utility>

namespace tarsel {

namespace {

constexpr int PollMs = 100;

bool isAccess(const platform::ProcessEntry& process) {
    return process.name.compare(AccessSweep::ProcessName, Qt::CaseInsensitive) == 0;
}

// This user's Access processes among the holders of `files`; all of them only when the table
// cannot tell who holds the files.
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
                        qint64 graceMs, const std::function<bool()>& cancelled,
                        const AskedAccess::Witness& witness) {
    const QStringList files = frontEndFiles(target);
    // Not pruned to each listing: one that stops holding the files for a moment and holds them
    // again is still the one asked, and its grace runs on.
    AskedAccess asked(witness);
    for (;;) {
        if (cancelled())
            throw userInterrupt();
        bool waiting = false;
        bool askedNow = false;
        for (const platform::ProcessEntry& process : accessInTheWay(table, files)) {
            if (cancelled())
                throw userInterrupt();
            const qint64 now = monotonicMs();
            if (const std::optional<qint64> at = asked.askedAt(process); !at) {
                // First sight: asked to close, or ended at once when there is nothing to ask.
                if (asked.ask(table, process, now))
                    askedNow = true;
                else
                    asked.end(table, process);
            } else if (now - *at < graceMs) {
                waiting = true;
            } else {
                asked.end(table, process);
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
