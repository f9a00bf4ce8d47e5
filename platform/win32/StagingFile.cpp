#include "platform/StagingFile.h"

#include "platform/AccessRights.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/win32/Win32.h"

#include <vector>

namespace tarsel::platform {

using namespace win32;

namespace {

constexpr qint64 SwapRetryMs = 2000;
constexpr qint64 SwapRetryPauseMs = 200;

HANDLE nativeOf(qintptr handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// The folder part of a path with its separator, empty for a bare name.
QString folderOf(const QString& path) {
    return path.left(lastSeparator(path) + 1);
}

} // namespace

StagingFile::StagingFile(const QString& target) : target_(target) {
    const QString folder = folderOf(target);
    const QString name = target.mid(folder.size());
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        path_ = folder + stagingName(name);
        // Without delete sharing, nobody can rename or remove the file while the run holds it:
        // the name stays this file until it is moved over the target.
        handle = CreateFileW(widePath(path_).c_str(),
                             GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC | READ_CONTROL,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            fail(path_);
    }
    if (handle == INVALID_HANDLE_VALUE)
        throw errorFrom(ERROR_FILE_EXISTS, path_);
    handle_ = reinterpret_cast<qintptr>(handle);
}

StagingFile::~StagingFile() {
    if (handle_ == -1)
        return;
    if (!committed_) {
        FILE_DISPOSITION_INFO remove{TRUE};
        SetFileInformationByHandle(nativeOf(handle_), FileDispositionInfo, &remove, sizeof remove);
    }
    CloseHandle(nativeOf(handle_));
}

QString StagingFile::openPath() const {
    // The handle the run holds keeps either name bound to this file.
    return committed_ ? target_ : path_;
}

void StagingFile::flushAndDropCache(Yielder&) {
    // The verification then reads the disk, unbuffered, so no cache needs dropping here.
    if (!FlushFileBuffers(nativeOf(handle_)))
        fail(path_);
}

void StagingFile::commit(Yielder& yielder) {
    adoptAccessRights(target_, handle_, path_);
    const HANDLE handle = nativeOf(handle_);
    // The new release is a new file, as if the old one had been deleted and the copy made in its
    // place: none of the old one's bits, nor the staging file's own hidden attribute.
    if (!setAttributesOf(handle, FILE_ATTRIBUTE_ARCHIVE))
        fail(path_);
    // Renamed through the handle the run holds: what moves is what was written and verified.
    const std::wstring to = widePath(target_);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), rename->FileName);
    // Another program that holds the old release open (Access on another computer, a virus
    // scanner) often lets go within moments.
    const qint64 deadline = monotonicMs() + SwapRetryMs;
    while (!SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(buffer.size()))) {
        const DWORD err = GetLastError();
        const bool held = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED ||
                          err == ERROR_LOCK_VIOLATION;
        if (!held || monotonicMs() >= deadline) {
            setAttributesOf(handle, FILE_ATTRIBUTE_HIDDEN);
            throw errorFrom(err, target_);
        }
        for (const qint64 next = monotonicMs() + SwapRetryPauseMs; monotonicMs() < next;) {
            yielder.yield();
            sleepMs(10);
        }
    }
    committed_ = true;
    // Best effort, as the rename is already made: asks for it to reach the disk.
    FlushFileBuffers(handle);
}

void removeOrphanedStagingFiles(const QString& target) {
    const QString folder = folderOf(target);
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(widePath(folder + QStringLiteral(".*")).c_str(), FindExInfoBasic, &found,
                         FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    constexpr DWORD NotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        // A staging file that a running copy holds refuses to be deleted.
        if (isStagingName(name) && (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(found.dwFileAttributes & NotAFile))
            DeleteFileW(widePath(folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    FileIdentity first;
    FileIdentity second;
    return identityOf(a, first) && identityOf(b, second) && first == second;
}

bool isNonFileEntry(const QString& path) {
    const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace tarsel::platform
