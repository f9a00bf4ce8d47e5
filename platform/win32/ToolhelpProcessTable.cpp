#include "platform/win32/ToolhelpProcessTable.h"

#include <tlhelp32.h>

namespace tarsel::platform {

using namespace win32;

namespace {

HANDLE systemSnapshot() {
    return CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
}

// The creation time names one process for good, where its id may be reused; 0 when unknown.
quint64 creationTimeOf(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

quint64 creationTimeOf(DWORD pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return 0;
    const quint64 created = creationTimeOf(process);
    CloseHandle(process);
    return created;
}

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> windows;
};

BOOL CALLBACK collectMainWindow(HWND window, LPARAM search) {
    auto& found = *reinterpret_cast<WindowSearch*>(search);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    // Main windows only: WM_CLOSE to a hidden helper window would destroy that window and leave
    // the program running without it.
    if (owner == found.pid && IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
        found.windows.push_back(window);
    return TRUE;
}

} // namespace

ToolhelpProcessTable::ToolhelpProcessTable(Snapshot snapshot)
    : snapshot_(snapshot ? std::move(snapshot) : Snapshot(systemSnapshot)) {}

std::vector<ProcessEntry> ToolhelpProcessTable::query(const QString& queryText) {
    const QString name = queriedProcessName(queryText);
    const HANDLE snapshot = snapshot_();
    if (snapshot == INVALID_HANDLE_VALUE)
        fail(QStringLiteral("The process table"));

    listedCreationTimes_.clear();
    std::vector<ProcessEntry> found;
    const DWORD self = GetCurrentProcessId();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        const QString image = QString::fromWCharArray(entry.szExeFile);
        if (entry.th32ProcessID == self || image.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const quint64 created = creationTimeOf(entry.th32ProcessID);
        found.push_back({qint64(entry.th32ProcessID), image, created});
        listedCreationTimes_[entry.th32ProcessID] = created;
    }
    const DWORD err = GetLastError();
    CloseHandle(snapshot);
    if (err != ERROR_NO_MORE_FILES)
        throw errorFrom(err, QStringLiteral("The process table"));
    return found;
}

// The handle pins the process: once it is checked, the id cannot pass to another while it is open.
HANDLE ToolhelpProcessTable::openListed(qint64 pid, DWORD access, DWORD& error) const {
    error = ERROR_INVALID_PARAMETER;
    const auto listed = listedCreationTimes_.find(pid);
    if (listed == listedCreationTimes_.end() || listed->second == 0)
        return nullptr;
    const HANDLE process =
        OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process) {
        error = GetLastError();
        return nullptr;
    }
    if (creationTimeOf(process) == listed->second)
        return process;
    CloseHandle(process);
    return nullptr;
}

bool ToolhelpProcessTable::requestClose(qint64 pid) {
    DWORD error = 0;
    const HANDLE process = openListed(pid, 0, error);
    if (!process)
        return false;
    WindowSearch search{DWORD(pid), {}};
    EnumWindows(collectMainWindow, reinterpret_cast<LPARAM>(&search));
    bool asked = false;
    for (HWND window : search.windows)
        asked = PostMessageW(window, WM_CLOSE, 0, 0) || asked;
    CloseHandle(process);
    return asked;
}

int ToolhelpProcessTable::terminate(qint64 pid) {
    DWORD error = 0;
    const HANDLE process = openListed(pid, PROCESS_TERMINATE, error);
    if (!process)
        return int(error);
    const int answer = TerminateProcess(process, 1) ? 0 : int(GetLastError());
    CloseHandle(process);
    if (answer == 0)
        listedCreationTimes_.erase(pid);
    return answer;
}

std::unique_ptr<ProcessTable> systemProcessTable() {
    return std::make_unique<ToolhelpProcessTable>();
}

} // namespace tarsel::platform
