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
//
// A process id is never trusted alone: a listed process is asked or ended only through a handle
// whose process was created no later than the snapshot, with the creation time listed, and whose
// image has the queried name.
class ToolhelpProcessTable final : public ProcessTable {
public:
    struct SnapshotLine {
        DWORD pid;
        QString exeFile; // the image's file name
    };
    // Takes a snapshot of the running processes; throws RunTimeError when it cannot.
    using Snapshot = std::function<std::vector<SnapshotLine>()>;

    // `snapshot` takes the system's snapshot; tests put a failing or a scripted one in its place.
    explicit ToolhelpProcessTable(Snapshot snapshot = {});

    std::vector<ProcessEntry> query(const QString& queryText) override;

    // Posts WM_CLOSE to the process's visible top-level windows; false when it has none.
    bool requestClose(qint64 pid) override;

    // TerminateProcess: 0, or the Win32 error (another user's process, without the right to end
    // it). A process that is not the one listed is answered ERROR_INVALID_PARAMETER.
    int terminate(qint64 pid) override;

private:
    HANDLE openListed(qint64 pid, DWORD access, DWORD& error) const;

    Snapshot snapshot_;
    QString name_;                                            // as the latest query asked for it
    std::unordered_map<qint64, quint64> listedCreationTimes_; // pid -> creation time; 0 unknown
};

} // namespace tarsel::platform
