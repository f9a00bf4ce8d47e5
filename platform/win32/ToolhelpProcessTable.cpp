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
        found.push_back({qint64(entry.th32ProcessID), image});
        listedCreationTimes_[entry.th32ProcessID] = creationTimeOf(entry.th32ProcessID);
    }
    const DWORD err = GetLastError();
    CloseHandle(snapshot);
    if (err != ERROR_NO_MORE_FILES)
        throw errorFrom(err, QStringLiteral("The process table"));
    return found;
}

int ToolhelpProcessTable::terminate(qint64 pid) {
    const auto listed = listedCreationTimes_.find(pid);
    if (listed == listedCreationTimes_.end())
        return ERROR_INVALID_PARAMETER;
    const HANDLE process =
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return int(GetLastError());
    // The handle pins the process: once its creation time matches, the id cannot pass to another.
    int answer = ERROR_INVALID_PARAMETER;
    if (listed->second != 0 && creationTimeOf(process) == listed->second)
        answer = TerminateProcess(process, 1) ? 0 : int(GetLastError());
    CloseHandle(process);
    if (answer == 0)
        listedCreationTimes_.erase(listed);
    return answer;
}

std::unique_ptr<ProcessTable> systemProcessTable() {
    return std::make_unique<ToolhelpProcessTable>();
}

} // namespace tarsel::platform
