#include "platform/FileParts.h"

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

RunTimeError notRegular(const QString& path) {
    return RunTimeError(ErrNo::PathFileAccess, path + QStringLiteral(": Not a regular file"));
}

OVERLAPPED at(qint64 offset) {
    OVERLAPPED position{};
    position.Offset = DWORD(quint64(offset));
    position.OffsetHigh = DWORD(quint64(offset) >> 32);
    return position;
}

// A disk file and nothing else: a folder, a device, a pipe or (unless followed) a link is refused
// before anything is read or written.
OpenFile openRegular(const QString& path, DWORD access, DWORD disposition, DWORD flags) {
    const bool unbuffered = flags & FILE_FLAG_NO_BUFFERING;
    const HANDLE handle = CreateFileW(widePath(path).c_str(), access, ShareAll, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        const DWORD attributes = GetFileAttributesW(widePath(path).c_str());
        if (err == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_DIRECTORY))
            throw notRegular(path);
        throw errorFrom(err, path);
    }
    OpenFile file(reinterpret_cast<qintptr>(handle), path, unbuffered);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(handle) != FILE_TYPE_DISK)
        throw notRegular(path);
    if (!GetFileInformationByHandle(handle, &info))
        fail(path);
    if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        throw notRegular(path);
    return file;
}

// Reads into `buffer` as it is: for an unbuffered file, `offset`, `length` and the buffer's
// address must be whole sectors.
qint64 readDirect(const OpenFile& file, char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    while (done < length) {
        OVERLAPPED position = at(offset + done);
        DWORD n = 0;
        if (!ReadFile(nativeOf(file), buffer + done, DWORD(std::min(length - done, MaxTransfer)),
                      &n, &position)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            fail(file.path());
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

// Unbuffered reads take whole sectors into a sector-aligned buffer; 4 KiB is a multiple of every
// sector size in use. VirtualAlloc's memory is page-aligned.
qint64 readSectors(const OpenFile& file, char* buffer, qint64 length, qint64 offset) {
    constexpr qint64 Sector = 4096;
    if (length <= 0)
        return 0;
    const qint64 first = offset / Sector * Sector;
    const qint64 end = (offset + length + Sector - 1) / Sector * Sector;
    const auto release = [](void* memory) { VirtualFree(memory, 0, MEM_RELEASE); };
    const std::unique_ptr<void, decltype(release)> aligned(
        VirtualAlloc(nullptr, SIZE_T(end - first), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE),
        release);
    if (!aligned)
        fail(file.path());
    char* sectors = static_cast<char*>(aligned.get());
    const qint64 got = readDirect(file, sectors, end - first, first);
    const qint64 usable = std::clamp<qint64>(got - (offset - first), 0, length);
    std::copy_n(sectors + (offset - first), usable, buffer);
    return usable;
}

} // namespace

OpenFile::OpenFile(OpenFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)),
      unbuffered_(other.unbuffered_) {}

OpenFile::~OpenFile() {
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void OpenFile::close() {
    if (!CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, -1))))
        fail(path_);
}

OpenFile openForReading(const QString& path) {
    return openRegular(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
}

OpenFile openForVerifying(const QString& path) {
    return openRegular(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING);
}

qint64 lengthOf(const OpenFile& file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(nativeOf(file), &size))
        fail(file.path());
    return size.QuadPart;
}

qint64 fileLength(const QString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(widePath(path).c_str(), GetFileExInfoStandard, &data))
        fail(path);
    return qint64((quint64(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

qint64 readAt(const OpenFile& file, char* buffer, qint64 length, qint64 offset) {
    if (file.unbuffered())
        return readSectors(file, buffer, length, offset);
    return readDirect(file, buffer, length, offset);
}

void writeAt(const OpenFile& file, const char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    while (done < length) {
        OVERLAPPED position = at(offset + done);
        DWORD n = 0;
        if (!WriteFile(nativeOf(file), buffer + done, DWORD(std::min(length - done, MaxTransfer)),
                       &n, &position))
            fail(file.path());
        if (n == 0)
            throw errorFrom(ERROR_WRITE_FAULT, file.path());
        done += n;
    }
}

// The target is compared with the source before it is opened, because opening empties it.
OpenFile parts::openCopyTarget(const OpenFile& source, const QString& path) {
    FileIdentity from;
    FileIdentity to;
    if (!identityOf(nativeOf(source), from))
        fail(source.path());
    if (identityOf(path, to) && from == to)
        throw RunTimeError(ErrNo::PathFileAccess, path + QStringLiteral(": Is the source file"));
    OpenFile file =
        openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT);
    if (!SetFilePointerEx(nativeOf(file), LARGE_INTEGER{}, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(nativeOf(file)))
        fail(path);
    return file;
}

// Reserves room for `length` bytes without lengthening the file: a disk too full for the copy
// fails here, before anything is written. A file system that cannot reserve goes on.
void parts::reserve(const OpenFile& file, qint64 length) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = length;
    if (length > 0 && !SetFileInformationByHandle(nativeOf(file), FileAllocationInfo, &allocation,
                                                  sizeof allocation)) {
        const RunTimeError error = errorFrom(GetLastError(), file.path());
        if (error.number() == ErrNo::DiskFull)
            throw error;
    }
}

// Deleting a file that is still open takes effect once the last handle is closed. The staging
// file's own handle refuses it, and the staging file then removes itself.
void parts::removeQuietly(const QString& path) {
    DeleteFileW(widePath(path).c_str());
}

// Not CopyFileExW: the copy goes into the staging file, which the run holds open so that its name
// cannot be taken from under it, and CopyFileExW cannot write into a file that is held so.
void copyWholeFile(const OpenFile& source, const OpenFile& target) {
    parts::copyRest(source, target, 0);
}

} // namespace tarsel::platform
