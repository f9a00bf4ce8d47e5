#pragma once

#include "platform/ProcessTable.h"

#include <unordered_map>

namespace tarsel::platform {

// The process table read from /proc. A process's image name is its `comm`; where that is cut short
// or names something else (a loader, as with programs run under Wine), the base name of the first
// `cmdline` word counts too. Names compare case-insensitively. The program's own process and
// zombies are never listed.
class ProcfsProcessTable final : public ProcessTable {
public:
    explicit ProcfsProcessTable(QString procRoot = QStringLiteral("/proc"));

    std::vector<ProcessEntry> processesNamed(const QString& image) override;

    // The processes whose open descriptors (/proc/PID/fd) lead to one of the files. Processes
    // whose descriptors this user may not read (another user's, unless run as root) are passed
    // over, and sawOtherAccounts() says so.
    std::optional<std::vector<ProcessEntry>> holdersOf(const QStringList& paths) override;
    bool sawOtherAccounts() const override { return sawOthers_; }

    // SIGTERM and SIGKILL, but only to the very process the latest listing holds: a pid that has
    // been freed and reused since is answered ESRCH (false) instead of being signalled.
    bool requestClose(qint64 pid) override;
    int terminate(qint64 pid) override;

private:
    // Calls visit(pid, /proc/PID, start time) for each running process; throws RunTimeError when
    // the table cannot be read.
    template <typename Visit> void forEachRunning(Visit visit) const;
    int signalListed(qint64 pid, int signal);

    QString root_;
    std::unordered_map<qint64, quint64> listedStartTimes_; // pid -> start time at listing
    bool sawOthers_ = true;
};

} // namespace tarsel::platform
