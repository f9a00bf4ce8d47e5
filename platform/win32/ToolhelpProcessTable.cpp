#include "platform/win32/ToolhelpProcessTable.h"

#include "platform/win32/Contracts.h"

#include <tlhelp32.h>

#include <QFileInfo>
#include <algorithm>

namespace tarsel::platform {

using namespace win32;

namespace {

quint64 fromFileTime(const FILETIME& time) {
    return (quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::vector<ToolhelpProcessTable::SnapshotLine> systemSnapshot() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        fail(QStringLiteral("The process table"));
    std::vector<ToolhelpProcessTable::SnapshotLine> lines;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry))
        lines.push_back({entry.th32ProcessID, QString::fromWCharArray(entry.szExeFile)});
    const DWORD err = GetLastError();
    CloseHandle(snapshot);
    if (err != ERROR_NO_MORE_FILES)
        throw errorFrom(err, QStringLiteral("The process table"));
    return lines;
}

// The creation time names one process for good, where its id may be reused; 0 when unknown.
quint64 creationTimeOf(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return fromFileTime(created);
}

// The user a token runs as, or nothing.
std::vector<char> tokenUser(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size))
        return {};
    return user;
}

std::vector<char> userOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return {};
    std::vector<char> user = tokenUser(token);
    CloseHandle(token);
    return user;
}

bool sameUser(const std::vector<char>& a, const std::vector<char>& b) {
    return !a.empty() && !b.empty() &&
           EqualSid(reinterpret_cast<const TOKEN_USER*>(a.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER*>(b.data())->User.Sid);
}

bool imageNamed(HANDLE process, const QString& name) {
    std::wstring path(32768, L'\0');
    DWORD length = DWORD(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &length))
        return false;
    const QString image = QString::fromWCharArray(path.data(), int(length));
    const qsizetype cut =
        std::max(image.lastIndexOf(QLatin1Char('\\')), image.lastIndexOf(QLatin1Char('/')));
    return !name.isEmpty() && image.mid(cut + 1).compare(name, Qt::CaseInsensitive) == 0;
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

// A Restart Manager session, ended on every way out.
class RestartSession {
public:
    explicit RestartSession(const RestartManager& calls) : calls_(calls) {
        WCHAR key[CCH_RM_SESSION_KEY + 1]{};
        started_ = calls_.startSession(&handle_, key) == ERROR_SUCCESS;
    }
    ~RestartSession() {
        if (started_)
            calls_.endSession(handle_);
    }
    RestartSession(const RestartSession&) = delete;
    RestartSession& operator=(const RestartSession&) = delete;

    bool started() const { return started_; }
    DWORD handle() const { return handle_; }

private:
    const RestartManager& calls_;
    DWORD handle_ = 0;
    bool started_ = false;
};

// Another open keeps this one out: someone holds the file, whether or not a list names them.
bool heldWithoutSharing(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(file);
    return false;
}

} // namespace

ToolhelpProcessTable::ToolhelpProcessTable(Snapshot snapshot, RestartManager restartManager)
    : snapshot_(snapshot ? std::move(snapshot) : Snapshot(systemSnapshot)),
      restartManager_(std::move(restartManager)) {}

std::vector<ProcessEntry> ToolhelpProcessTable::processesNamed(const QString& name) {
    // Taken before the snapshot: a process created later is a newcomer under a listed id.
    FILETIME before{};
    GetSystemTimePreciseAsFileTime(&before);
    const std::vector<SnapshotLine> lines = snapshot_();

    listed_.clear();
    std::vector<ProcessEntry> found;
    const DWORD self = GetCurrentProcessId();
    const std::vector<char> me = userOf(GetCurrentProcess());
    for (const SnapshotLine& line : lines) {
        if (line.pid == self || line.exeFile.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, line.pid);
        const quint64 created = process ? creationTimeOf(process) : 0;
        const bool ours = process && sameUser(userOf(process), me);
        if (process)
            CloseHandle(process);
        const quint64 started = created <= fromFileTime(before) ? created : 0;
        found.push_back({qint64(line.pid), line.exeFile, started, ours});
        listed_[line.pid] = {started, line.exeFile};
    }
    return found;
}

std::optional<std::vector<ProcessEntry>> ToolhelpProcessTable::holdersOf(const QStringList& paths) {
    // A folder is no front end or lock file, and the Restart Manager cannot answer for a session
    // that registered one: it is held by nobody in the way. A path whose attributes cannot be
    // read is still the Restart Manager's to answer for.
    std::vector<FileToAsk> files;
    for (const QString& path : paths) {
        std::wstring file = widePath(QFileInfo(path).absoluteFilePath());
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD err = GetLastError();
            if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
                continue;
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            continue;
        }
        files.push_back({std::move(file), attributes});
    }
    std::vector<ProcessEntry> found;
    std::unordered_map<qint64, Listed> listed;
    if (!files.empty()) {
        const std::optional<std::vector<RM_PROCESS_INFO>> users = usersOf(files);
        if (!users || (users->empty() && heldWithoutSharing(files.front().path)))
            return std::nullopt;
        std::vector<SnapshotLine> lines;
        try {
            lines = snapshot_();
        } catch (const RunTimeError&) {
            return std::nullopt;
        }
        const DWORD self = GetCurrentProcessId();
        const std::vector<char> me = userOf(GetCurrentProcess());
        for (const RM_PROCESS_INFO& user : *users) {
            const DWORD pid = user.Process.dwProcessId;
            const quint64 started = fromFileTime(user.Process.ProcessStartTime);
            const auto line = std::find_if(lines.begin(), lines.end(),
                                           [pid](const SnapshotLine& l) { return l.pid == pid; });
            if (pid == self || line == lines.end() || listed.contains(pid))
                continue;
            // Where the process can be opened, it must be the one listed: its id may have passed
            // to another since. Where it cannot (another user's), terminate will find out.
            const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
            bool ours = false;
            if (process) {
                const bool same = creationTimeOf(process) == started;
                ours = sameUser(userOf(process), me);
                CloseHandle(process);
                if (!same)
                    continue;
            }
            found.push_back({qint64(pid), line->exeFile, started, ours});
            listed[pid] = {started, line->exeFile};
        }
    }
    listed_ = std::move(listed);
    return found;
}

std::optional<std::vector<RM_PROCESS_INFO>>
ToolhelpProcessTable::usersOf(const std::vector<FileToAsk>& files) const {
    std::vector<LPCWSTR> names;
    for (const FileToAsk& file : files) {
        // Files only: Windows fails the list of a session that registered a folder.
        if (!contract(file.attributes == INVALID_FILE_ATTRIBUTES ||
                          !(file.attributes & FILE_ATTRIBUTE_DIRECTORY),
                      ERROR_ACCESS_DENIED))
            return std::nullopt;
        names.push_back(file.path.c_str());
    }
    const RestartSession session(restartManager_);
    if (!session.started() || restartManager_.registerFiles(session.handle(), UINT(names.size()),
                                                            names.data()) != ERROR_SUCCESS)
        return std::nullopt;
    // The list may grow between two calls: each asks again with room for what the last needed.
    std::vector<RM_PROCESS_INFO> users;
    for (int attempt = 0; attempt < 8; ++attempt) {
        UINT needed = 0;
        UINT count = UINT(users.size());
        const DWORD answer = restartManager_.getList(session.handle(), &needed, &count,
                                                     users.empty() ? nullptr : users.data());
        if (answer == ERROR_SUCCESS) {
            users.resize(std::min(size_t(count), users.size()));
            return users;
        }
        if (answer != ERROR_MORE_DATA)
            return std::nullopt;
        users.resize(needed);
    }
    return std::nullopt;
}

// The handle pins the process: once it is checked, the id cannot pass to another while it is open.
HANDLE ToolhelpProcessTable::openListed(qint64 pid, DWORD access, DWORD& error) const {
    error = ERROR_INVALID_PARAMETER;
    const auto listed = listed_.find(pid);
    if (listed == listed_.end() || listed->second.created == 0)
        return nullptr;
    const HANDLE process =
        OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process) {
        error = GetLastError();
        return nullptr;
    }
    if (creationTimeOf(process) == listed->second.created &&
        imageNamed(process, listed->second.image))
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
    // A last line for the test run, whatever path led here: a process of another image than the
    // one listed is refused, so that a test fails where a stranger would be ended.
    const bool ended = contract(!contractsChecked() || imageNamed(process, listed_.at(pid).image),
                                ERROR_ACCESS_DENIED) &&
                       TerminateProcess(process, 1);
    const int answer = ended ? 0 : int(GetLastError());
    CloseHandle(process);
    if (answer == 0)
        listed_.erase(pid);
    return answer;
}

std::unique_ptr<ProcessTable> systemProcessTable() {
    return std::make_unique<ToolhelpProcessTable>();
}

} // namespace tarsel::platform
