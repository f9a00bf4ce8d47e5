#include "sweep/EndAccess.h"

#include "platform/Clock.h"
#include "sweep/AccessSweep.h"

#include <algorithm>
#include <set>
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

void endAccessProcesses(platform::ProcessTable& table, Yielder& yielder, qint64 graceMs) {
    using Identity = std::pair<qint64, quint64>;
    std::set<Identity> asked;
    for (const platform::ProcessEntry& process : ownAccessProcesses(table))
        if (table.requestClose(process.pid))
            asked.insert({process.pid, process.started});

    const qint64 start = platform::monotonicMs();
    std::vector<platform::ProcessEntry> left = ownAccessProcesses(table);
    const auto anyAskedLeft = [&] {
        return std::any_of(left.begin(), left.end(), [&](const platform::ProcessEntry& p) {
            return asked.contains({p.pid, p.started});
        });
    };
    while (anyAskedLeft() && platform::monotonicMs() - start < graceMs) {
        yielder.yield();
        platform::sleepMs(PollMs);
        left = ownAccessProcesses(table);
    }
    for (const platform::ProcessEntry& process : left)
        table.terminate(process.pid);
}

} // namespace tarsel
