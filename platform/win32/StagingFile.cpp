#include "platform/StagingFile.h"

#include "core/Clock.h"
#include "platform/AccessRights.h"
#include "platform/FileParts.h"
#include "platform/Paths.h"
#include "platform/StagingFileParts.h"
#include "platform/win32/Contracts.h"
#include "platform/win32/OwnerOnly.h"
#include "platform/win32/Win32.h"

#include <algorithm>
#include <vector>

namespace tarsel::platform {

using namespace win32;

namespace {

constexpr qint64 SwapRetryMs = 2000;
constexpr qint64 SwapRetryPauseMs = 200;
constexpr int SetAsideRetryPauseMs = 20;

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

// Renames the file open as `handle` to `to`, over a file there only where `replace` says so:
// what moves is the file the handle holds, whatever became of its name.
bool renameThrough(HANDLE handle, const QString& to, bool replace) {
    const std::wstring name = widePath(to);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = DWORD(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), rename->FileName);
    return SetFileInformationByHandle(handle, FileRenameInfo, rename, DWORD(buffer.size()));
}

FileId idOf(HANDLE handle) {
    FileIdentity identity;
    if (!identityOf(handle, identity))
        return {};
    return {identity.volume, identity.index};
}

// A target whose folder is missing: the folder is what to name.
RunTimeError creationError(DWORD err, const QString& target) {
    const QString folder = folderOf(target);
    return errorFrom(err,
                     err == ERROR_PATH_NOT_FOUND && !folder.isEmpty() ? folder.chopped(1) : target);
}

// From 1601-01-01, where file times count from, to 1970-01-01.
constexpr qint64 UnixEpochMs = 11'644'473'600'000;

// Calls `visit` with the entry and the name of every staging file in `folder` (its path with its
// separator): hidden regular files of the staging file's name.
template <class Visit> void forEachStagingFile(const QString& folder, Visit&& visit) {
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileExW(widePath(folder + QStringLiteral(".*")).c_str(), FindExInfoBasic, &found,
                         FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    constexpr DWORD NotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    do {
        const QString name = QString::fromWCharArray(found.cFileName);
        if (isStagingName(name) && (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) &&
            !(found.dwFileAttributes & NotAFile))
            visit(found, name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

} // namespace

StagingFile::StagingFile(const QString& target, qint64 length, Yielder* yielder) : target_(target) {
    const QString folder = folderOf(target);
    const QString name = target.mid(folder.size());
    OwnerOnly ownerOnly;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && handle == INVALID_HANDLE_VALUE; ++attempt) {
        path_ = folder + stagingName(name);
        // Others may read what their rights let them, nothing more: nobody writes to the bytes the
        // run verifies, nor renames or removes the file while the run holds it, so the name stays
        // this file until it is moved over the target. Until then only the runner's rights let
        // anyone in.
        handle = CreateFileW(widePath(path_).c_str(),
                             GENERIC_READ | GENERIC_WRITE | DELETE | WRITE_DAC | READ_CONTROL,
                             FILE_SHARE_READ, ownerOnly.attributes(), CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            throw creationError(GetLastError(), target);
    }
    if (handle == INVALID_HANDLE_VALUE)
        throw errorFrom(ERROR_FILE_EXISTS, target);
    file_.emplace(reinterpret_cast<qintptr>(handle), target);
    const FileId id = idOf(handle);
    device_ = id.device;
    index_ = id.index;
    try {
        parts::reserveInPieces(*file_, length, yielder);
    } catch (...) {
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

StoredCopy StagingFile::readBack(Yielder&) {
    const HANDLE handle = nativeOf(file_->handle());
    if (!FlushFileBuffers(handle))
        fail(target_);
    // The same file, from the run's own handle: no open by name that another file could answer.
    // Its sharing must allow what the run's handle does.
    const HANDLE reader = ReOpenFile(handle, GENERIC_READ, ShareAll,
                                     FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN);
    if (reader == INVALID_HANDLE_VALUE)
        fail(target_);
    OpenFile file(reinterpret_cast<qintptr>(reader), target_, true);
    const qint64 length = lengthOf(file);
    return StoredCopy(std::move(file), length, true);
}

qint64 StoredCopy::readAt(char* buffer, qint64 length, qint64 offset) {
    return platform::readAt(file_, buffer, length, offset);
}

std::optional<RunTimeError> StagingFile::commit(Yielder& yielder, const QString& rightsOf) {
    std::optional<RunTimeError> notKept =
        adoptAccessRights(rightsOf.isEmpty() ? target_ : rightsOf, file_->handle(), target_);
    const HANDLE handle = nativeOf(file_->handle());
    // Another program that holds the old release open (Access on another computer, a virus
    // scanner) often lets go within moments.
    const qint64 deadline = monotonicMs() + SwapRetryMs;
    while (!(renameAllowedOver(target_) && renameThrough(handle, target_, true))) {
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
    return notKept;
}

SetAside::SetAside(const QString& path) : path_(path) {
    // Open without delete sharing, so that nobody removes or renames it while it is aside; the
    // attributes are changed only where the runner may.
    const auto open = [&](DWORD access) {
        return CreateFileW(widePath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | access,
                           FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    };
    // Another run that moves the same record aside holds it without delete sharing for moments;
    // once it has, the name is free or holds that run's new record.
    const qint64 deadline = monotonicMs() + SwapRetryMs;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (;;) {
        handle = open(FILE_WRITE_ATTRIBUTES);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
            handle = open(0);
        if (handle != INVALID_HANDLE_VALUE)
            break;
        const DWORD err = GetLastError();
        if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
            return;
        if (err != ERROR_SHARING_VIOLATION || monotonicMs() >= deadline)
            throw errorFrom(err, path);
        sleepMs(SetAsideRetryPauseMs);
    }
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info)) {
        const DWORD err = GetLastError();
        CloseHandle(handle);
        throw errorFrom(err, path);
    }
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        CloseHandle(handle);
        return;
    }
    handle_ = reinterpret_cast<qintptr>(handle);
    attributes_ = info.FileAttributes;
    // Hidden, as a staging file is, for a later run to recognise should this one be stopped; not
    // read-only, so that it can be removed.
    setAttributesOf(handle, (attributes_ | FILE_ATTRIBUTE_HIDDEN) & ~FILE_ATTRIBUTE_READONLY);
    const QString folder = folderOf(path);
    DWORD err = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 8 && err == ERROR_FILE_EXISTS; ++attempt) {
        const QString aside = folder + stagingName(fileNameOf(path));
        if (renameThrough(handle, aside, false)) {
            aside_ = aside;
            return;
        }
        err = GetLastError();
        if (err == ERROR_ALREADY_EXISTS) // the name drawn is taken: another one
            err = ERROR_FILE_EXISTS;
    }
    setAttributesOf(handle, attributes_);
    CloseHandle(handle);
    throw errorFrom(err, path);
}

SetAside::~SetAside() {
    if (handle_ == -1)
        return;
    if (!aside_.isEmpty())
        removeOnClose(nativeOf(handle_));
    CloseHandle(nativeOf(handle_));
}

void SetAside::putBack() {
    if (!aside_.isEmpty() && renameThrough(nativeOf(handle_), path_, false)) {
        setAttributesOf(nativeOf(handle_), attributes_);
        aside_.clear();
    }
}

void removeIfSame(const QString& path, const FileId& id) {
    const HANDLE handle = CreateFileW(
        widePath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return;
    if (idOf(handle) == id)
        removeOnClose(handle);
    CloseHandle(handle);
}

void removeOrphanedStagingFiles(const QString& target) {
    const QString folder = folderOf(target);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    forEachStagingFile(folder, [&](const WIN32_FIND_DATAW& found, const QString& name) {
        // A staging file that a running copy holds refuses to be deleted; one written to lately
        // is left alone all the same, should a share not tell.
        if (ticksOf(now) - ticksOf(found.ftLastWriteTime) >= OrphanAgeMs * 10000)
            DeleteFileW(widePath(folder + name).c_str());
    });
}

std::vector<StagingLeftover> parts::listStagingLeftovers(const QString& target) {
    const QString folder = folderOf(target);
    std::vector<StagingLeftover> found;
    forEachStagingFile(folder, [&](const WIN32_FIND_DATAW& entry, const QString& name) {
        // The room set aside counts, which the entry's length does not show.
        qint64 bytes = qint64((quint64(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
        const HANDLE file = CreateFileW(widePath(folder + name).c_str(), FILE_READ_ATTRIBUTES,
                                        ShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
        FILE_STANDARD_INFO info{};
        if (file != INVALID_HANDLE_VALUE) {
            if (GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info))
                bytes = info.AllocationSize.QuadPart;
            CloseHandle(file);
        }
        const qint64 writtenMs = ticksOf(entry.ftLastWriteTime) / 10000 - UnixEpochMs;
        found.push_back({name, bytes, QDateTime::fromMSecsSinceEpoch(writtenMs + OrphanAgeMs)});
    });
    return found;
}

bool parts::sameExistingFile(const QString& a, const QString& b) {
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
