#include "platform/StagingFile.h"

#include "platform/AccessRights.h"
#include "platform/Clock.h"
#include "platform/FileParts.h"
#include "platform/Paths.h"
#include "platform/win32/Contracts.h"
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

qint64 ticksOf(const FILETIME& time) {
    return qint64((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// Windows refuses to rename over a read-only file, where Wine lets it happen.
bool renameAllowedOver(const QString& target) {
    const DWORD attributes = GetFileAttributesW(widePath(target).c_str());
    return contract(attributes == INVALID_FILE_ATTRIBUTES ||
                        !(attributes & FILE_ATTRIBUTE_READONLY),
                    ERROR_ACCESS_DENIED);
}

// The file goes when the run's handle closes, the only one there is.
void removeOnClose(HANDLE handle) {
    FILE_DISPOSITION_INFO remove{TRUE};
    SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof remove);
}

// The folder part of a path with its separator, empty for a bare name.
QString folderOf(const QString& path) {
    return path.left(lastSeparator(path) + 1);
}

} // namespace

StagingFile::StagingFile(const QString& target, qint64 length) : target_(target) {
    const QString folder = folderOf(target);
    const QString name = target.mid(folder.size());
    QString path;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        path = folder + stagingName(name);
        // Others may read, nothing more: nobody writes to the bytes the run verifies, nor renames
        // or removes the file while the run holds it, so the name stays this file until it is
        // moved over the target.
        handle = CreateFileW(widePath(path).c_str(),
                             GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC | READ_CONTROL,
                             FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            fail(path);
    }
    if (handle == INVALID_HANDLE_VALUE)
        throw errorFrom(ERROR_FILE_EXISTS, path);
    file_.emplace(reinterpret_cast<qintptr>(handle), path);
    try {
        parts::reserve(*file_, length);
    } catch (const RunTimeError&) {
        removeOnClose(nativeOf(file_->handle()));
        throw;
    }
}

StagingFile::~StagingFile() {
    if (!committed_)
        removeOnClose(nativeOf(file_->handle()));
}

QString StagingFile::openPath() const {
    // The handle the run holds keeps either name bound to this file.
    return committed_ ? target_ : path();
}

OpenFile StagingFile::readBack(Yielder&) {
    const HANDLE handle = nativeOf(file_->handle());
    if (!FlushFileBuffers(handle))
        fail(path());
    // The same file, from the run's own handle: no open by name that another file could answer.
    // Its sharing must allow what the run's handle does.
    const HANDLE reader = ReOpenFile(handle, GENERIC_READ, ShareAll,
                                     FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
    if (reader == INVALID_HANDLE_VALUE)
        fail(path());
    return OpenFile(reinterpret_cast<qintptr>(reader), path(), true);
}

void StagingFile::commit(Yielder& yielder) {
    adoptAccessRights(target_, file_->handle(), path());
    const HANDLE handle = nativeOf(file_->handle());
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
    while (!(renameAllowedOver(target_) &&
             SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(buffer.size())))) {
        const DWORD err = GetLastError();
        const bool held = err == ERROR_SHARING_VIOLATION || err == ERROR_ACCESS_DENIED ||
                          err == ERROR_LOCK_VIOLATION;
        if (!held || monotonicMs() >= deadline)
            throw errorFrom(err, target_);
        for (const qint64 next = monotonicMs() + SwapRetryPauseMs; monotonicMs() < next;) {
            yielder.yield();
            sleepMs(10);
        }
    }
    committed_ = true;
    // Hidden until now, so that a run killed before the rename leaves only a file that the next
    // run recognises and removes. The new release is a new file, as if the old one had been
    // deleted and the copy made in its place: none of the old one's bits. Best effort from here,
    // as the rename is made: a hidden front end still opens.
    setAttributesOf(handle, FILE_ATTRIBUTE_ARCHIVE);
    // Asks for the rename to reach the disk.
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
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        // A staging file that a running copy holds refuses to be deleted; one written to lately
        // is left alone all the same, should a share not tell.
        if (isStagingName(name) && (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(found.dwFileAttributes & NotAFile) &&
            ticksOf(now) - ticksOf(found.ftLastWriteTime) >= OrphanAgeMs * 10000)
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
