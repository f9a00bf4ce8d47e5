#pragma once

#include "platform/ProcessTable.h"
#include "platform/win32/Win32.h"

#include <restartmanager.h>

#include <functional>
#include <unordered_map>
#include <vector>

namespace tarsel::platform {

// The Restart Manager's calls that ToolhelpProcessTable makes: the system's, unless tests put
// counting or failing ones in their place.
struct RestartManager {
    std::function<DWORD(DWORD* session, WCHAR* key)> startSession = [](DWORD* session, WCHAR* key) {
        return RmStartSession(session, 0, key);
    };
    std::function<DWORD(DWORD session, UINT count, LPCWSTR* files)> registerFiles =
        [](DWORD session, UINT count, LPCWSTR* files) {
            return RmRegisterResources(session, count, files, 0, nullptr, 0, nullptr);
        };
    std::function<DWORD(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* list)> getList =
        [](DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO* list) {
            DWORD reasons = 0;
            return RmGetList(session, needed, count, list, &reasons);
        };
    std::function<DWORD(DWORD session)> endSession = RmEndSession;
};

// The process table from a Toolhelp snapshot: the image name is the one the management service
// shows as Win32_Process.Name, compared case-insensitively. The program's own process is never
// listed. Without COM, a sweep costs milliseconds.
//
// A process id is never trusted alone: a listed process is asked or ended only through a handle
// whose process was created no later than the snapshot (or the Restart Manager's list), with the
// creation time listed, and whose image has the name listed.
class ToolhelpProcessTable final : public ProcessTable {
public:
    struct SnapshotLine {
        DWORD pid;
        QString exeFile; // the image's file name
    };
    // Takes a snapshot of the running processes; throws RunTimeError when it cannot.
    using Snapshot = std::function<std::vector<SnapshotLine>()>;

    // `snapshot` takes the system's snapshot; tests put a failing or a scripted one in its place,
    // as they may put other Restart Manager calls in place of the system's.
    explicit ToolhelpProcessTable(Snapshot snapshot = {}, RestartManager restartManager = {});

    std::vector<ProcessEntry> processesNamed(const QString& image) override;

    // The Restart Manager's list of the processes that use the files. Its list is no proof that
    // nobody holds a file: Wine's lists nobody ever. So an empty list while the first file cannot
    // be opened without sharing is answered with nothing (cannot tell).
    std::optional<std::vector<ProcessEntry>> holdersOf(const QStringList& paths) override;

    // Posts WM_CLOSE to the process's visible top-level windows; false when it has none.
    bool requestClose(qint64 pid) override;

    // TerminateProcess: 0, or the Win32 error (another user's process, without the right to end
    // it). A process that is not the one listed is answered ERROR_INVALID_PARAMETER.
    int terminate(qint64 pid) override;

private:
    struct Listed {
        quint64 created; // 0 when unknown
        QString image;
    };

    struct FileToAsk {
        std::wstring path;
        DWORD attributes; // INVALID_FILE_ATTRIBUTES where they cannot be read
    };

    HANDLE openListed(qint64 pid, DWORD access, DWORD& error) const;
    std::optional<std::vector<RM_PROCESS_INFO>> usersOf(const std::vector<FileToAsk>& files) const;

    Snapshot snapshot_;
    RestartManager restartManager_;
    std::unordered_map<qint64, Listed> listed_; // by pid
};

} // namespace tarsel::platform
