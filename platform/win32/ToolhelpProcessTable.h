#pragma once

#include "platform/ProcessTable.h"
#include "platform/win32/Win32.h"

#include <functional>
#include <unordered_map>
#include <vector>

namespace tarsel::platform {

// The process table from a Toolhelp snapshot: the image name is the one the management service
// shows as Win32_Process.Name, compared case-insensitively. The program's own process is never
// listed. Without COM, a sweep costs milliseconds.
class ToolhelpProcessTable final : public ProcessTable {
public:
    using Snapshot = std::function<HANDLE()>;
    // `snapshot` takes the system's process snapshot; tests put a failing one in its place.
    explicit ToolhelpProcessTable(Snapshot snapshot = {});

    std::vector<ProcessEntry> query(const QString& queryText) override;

    // Posts WM_CLOSE to the process's visible top-level windows; false when it has none.
    bool requestClose(qint64 pid) override;

    // TerminateProcess, but only on the very process the latest query listed: one whose creation
    // time differs (its id was freed and reused since) is answered ERROR_INVALID_PARAMETER.
    // Otherwise 0, or the Win32 error (another user's process, without the right to end it).
    int terminate(qint64 pid) override;

private:
    HANDLE openListed(qint64 pid, DWORD access, DWORD& error) const;

    Snapshot snapshot_;
    std::unordered_map<qint64, quint64> listedCreationTimes_; // pid -> creation time at listing
};

} // namespace tarsel::platform
