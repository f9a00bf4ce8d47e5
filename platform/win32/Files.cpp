#include "platform/FileParts.h"

#include "platform/Paths.h"
#include "platform/win32/Contracts.h"
#include "platform/win32/Win32.h"

#include <algorithm>
#include <memory>

namespace tarsel::platform {

using namespace win32;

namespace {

// ReadFile and WriteFile take at most a DWORD at a time.
constexpr qint64 MaxTransfer = qint64(1) << 30;

HANDLE nativeOf(const OpenFile& file) {
    return reinterpret_cast<HANDLE>(file.handle());
}

OVERLAPPED at(qint64 offset) {
    OVERLAPPED position{};
    position.Offset = DWORD(quint64(offset));
    position.OffsetHigh = DWORD(quint64(offset) >> 32);
    return position;
}

// Unbuffered transfers must be whole sectors at a sector offset into a sector-aligned buffer.
// 4 KiB is what is used and checked: every sector size in use divides it, so a transfer that
// passes here passes on any volume, whatever sector size Wine reports for its drives.
constexpr qint64 Sector = 4096;

// Unbuffered reads fetch this much at a time: on a share each one is a round trip.
constexpr qint64 ReadAheadSize = qint64(1) << 20;
static_assert(ReadAheadSize % Sector == 0);

bool fitsSectors(const OpenFile& file, const void* buffer, qint64 length, qint64 offset) {
    return !file.unbuffered() || (length % Sector == 0 && offset % Sector == 0 &&
                                  reinterpret_cast<quintptr>(buffer) % Sector == 0);
}

// One ReadFile at `offset`: fewer bytes than asked only where the file ends, none past it.
qint64 readOnce(const OpenFile& file, char* buffer, qint64 length, qint64 offset) {
    OVERLAPPED position = at(offset);
    DWORD n = 0;
    if (!contract(fitsSectors(file, buffer, length, offset), ERROR_INVALID_PARAMETER) ||
        !ReadFile(nativeOf(file), buffer, DWORD(length), &n, &position)) {
        if (GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        fail(file.path());
    }
    return n;
}

struct ReleasePages {
    void operator()(char* pages) const { VirtualFree(pages, 0, MEM_RELEASE); }
};

} // namespace

struct OpenFile::ReadAhead {
    // Page-aligned (VirtualAlloc), so whole sectors can be read into it; made on first use.
    std::unique_ptr<char, ReleasePages> bytes;
    qint64 offset = 0;
    // The bytes that hold the file's: fewer where it ends.
    qint64 length = 0;

    // Makes this the stretch of `file` that holds `at`, unless it is already; false past the end.
    bool reach(const OpenFile& file, qint64 at) {
        if (at >= offset && at < offset + length)
            return true;
        if (!bytes) {
            bytes.reset(static_cast<char*>(VirtualAlloc(nullptr, SIZE_T(ReadAheadSize),
                                                        MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
            if (!bytes)
                fail(file.path());
        }
        offset = at / ReadAheadSize * ReadAheadSize;
        length = 0; // a read that throws leaves no stale bytes behind
        length = readOnce(file, bytes.get(), ReadAheadSize, offset);
        // A short read has met the end; reading on from there would be unaligned.
        return at < offset + length;
    }
};

OpenFile::OpenFile(OpenFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)),
      unbuffered_(other.unbuffered_), readAhead_(std::move(other.readAhead_)) {}

OpenFile::~OpenFile() {
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void OpenFile::close() {
    if (!CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, -1))))
        fail(path_);
}

// A disk file and nothing else: a folder, a device, a pipe or a link that is not followed is
// refused before anything is read.
OpenFile openForReading(const QString& path) {
    const HANDLE handle =
        CreateFileW(widePath(path).c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
        if (err == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw notRegularFile(path);
        throw errorFrom(err, path);
    }
    OpenFile file(reinterpret_cast<qintptr>(handle), path);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK)
        throw notRegularFile(path);
    if (!GetFileInformationByHandle(handle, &info))
        fail(path);
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        throw notRegularFile(path);
    return file;
}

qint64 lengthOf(const OpenFile& file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(nativeOf(file), &size))
        fail(file.path());
    return size.QuadPart;
}

FileState stateOf(const OpenFile& file) {
    FILE_BASIC_INFO info{};
    if (!GetFileInformationByHandleEx(nativeOf(file), FileBasicInfo, &info, sizeof info))
        fail(file.path());
    return {lengthOf(file), info.LastWriteTime.QuadPart, info.ChangeTime.QuadPart};
}

std::optional<FileId> fileIdOf(const QString& path) {
    const HANDLE handle =
        CreateFileW(widePath(path).c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    FileIdentity identity;
    const bool known = identityOf(handle, identity);
    CloseHandle(handle);
    if (!known)
        return std::nullopt;
    return FileId{identity.volume, identity.index};
}

std::optional<FileId> resolvedFileIdOf(const QString& path) {
    FileIdentity identity;
    if (!identityOf(path, identity))
        return std::nullopt;
    return FileId{identity.volume, identity.index};
}

FileIdHold::FileIdHold(const QString& path) : id_(fileIdOf(path)) {}

FileIdHold::FileIdHold(const OpenFile& file) {
    FileIdentity identity;
    if (identityOf(nativeOf(file), identity))
        id_ = FileId{identity.volume, identity.index};
}

FileIdHold::~FileIdHold() = default;

// NTFS, ReFS, exFAT and FAT's long names alike.
bool nameCanExist(const QString& path) {
    constexpr qsizetype NameMax = 255;
    return fileNameOf(path).size() <= NameMax;
}

qint64 readAt(const OpenFile& file, char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    if (!file.unbuffered()) {
        while (done < length) {
            const qint64 n =
                readOnce(file, buffer + done, std::min(length - done, MaxTransfer), offset + done);
            if (n == 0)
                break;
            done += n;
        }
        return done;
    }
    if (!file.readAhead_)
        file.readAhead_ = std::make_shared<OpenFile::ReadAhead>();
    OpenFile::ReadAhead& stretch = *file.readAhead_;
    while (done < length && stretch.reach(file, offset + done)) {
        const qint64 from = offset + done;
        const qint64 n = std::min(length - done, stretch.offset + stretch.length - from);
        std::copy_n(stretch.bytes.get() + (from - stretch.offset), n, buffer + done);
        done += n;
    }
    return done;
}

void writeAt(const OpenFile& file, const char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    while (done < length) {
        const qint64 part = std::min(length - done, MaxTransfer);
        OVERLAPPED position = at(offset + done);
        DWORD n = 0;
        if (!contract(fitsSectors(file, buffer + done, part, offset + done),
                      ERROR_INVALID_PARAMETER) ||
            !WriteFile(nativeOf(file), buffer + done, DWORD(part), &n, &position))
            fail(file.path());
        if (n == 0)
            throw errorFrom(ERROR_WRITE_FAULT, file.path());
        done += n;
    }
}

// A disk too full for the copy fails here, before anything is written. The allocation grows to
// `end` as a whole; what lies before `from` is already allocated.
bool parts::reserve(const OpenFile& file, qint64, qint64 end) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = end;
    if (SetFileInformationByHandle(nativeOf(file), FileAllocationInfo, &allocation,
                                   sizeof allocation))
        return true;
    const RunTimeError error = errorFrom(GetLastError(), file.path());
    if (error.kind() == ErrorKind::DiskFull)
        throw error;
    return false;
}

// Windows copies ranges between open files only on ReFS (block cloning), which shares the blocks
// rather than writing them: the copy goes through the program's buffer.
qint64 systemCopy(const OpenFile&, const OpenFile&, qint64, qint64) {
    return 0;
}

} // namespace tarsel::platform
