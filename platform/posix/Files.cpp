#include "platform/FileParts.h"

#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

int fd(const OpenFile& file) {
    return int(file.handle());
}

[[noreturn]] void fail(const QString& what) {
    throw errnoError(errno, what);
}

// O_NONBLOCK keeps the open of a FIFO from waiting for its other end; the file is refused right
// after unless it is a regular file, and then reads block as usual.
OpenFile openRegular(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // ENXIO: a FIFO without a reader, or a device that is not there.
    if (fd < 0 && errno == ENXIO)
        throw notRegularFile(path);
    if (fd < 0)
        fail(path);
    OpenFile file(fd, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        fail(path);
    if (S_ISDIR(st.st_mode))
        throw errnoError(EISDIR, path);
    if (!S_ISREG(st.st_mode))
        throw notRegularFile(path);
    const int status = ::fcntl(fd, F_GETFL);
    if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0)
        fail(path);
    return file;
}

} // namespace

OpenFile::OpenFile(OpenFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)),
      unbuffered_(other.unbuffered_), readAhead_(std::move(other.readAhead_)) {}

OpenFile::~OpenFile() {
    if (handle_ >= 0)
        ::close(int(handle_));
}

void OpenFile::close() {
    if (::close(int(std::exchange(handle_, -1))) != 0)
        fail(path_);
}

OpenFile openForReading(const QString& path) {
    OpenFile file = openRegular(path);
    // Only a hint: a reader here goes from front to back, so the kernel may read further ahead.
    ::posix_fadvise(fd(file), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

qint64 lengthOf(const OpenFile& file) {
    struct stat st {};
    if (::fstat(fd(file), &st) != 0)
        fail(file.path());
    return st.st_size;
}

FileState stateOf(const OpenFile& file) {
    struct stat st {};
    if (::fstat(fd(file), &st) != 0)
        fail(file.path());
    const auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec; };
    return {st.st_size, ns(st.st_mtim), ns(st.st_ctim)};
}

std::optional<FileId> fileIdOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

std::optional<FileId> resolvedFileIdOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

namespace {

// Holds the inode that `fd`, opened with O_PATH, refers to; none where it could not be opened.
std::optional<FileId> heldId(int fd) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return std::nullopt;
    return FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

} // namespace

FileIdHold::FileIdHold(const QString& path)
    : handle_(::open(QFile::encodeName(path).constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
    id_ = heldId(int(handle_));
}

// Through /proc, which leads to the file itself: a second descriptor of the open file would keep
// it open, which an SMB share sees.
FileIdHold::FileIdHold(const OpenFile& file)
    : handle_(::open(QByteArray("/proc/self/fd/" + QByteArray::number(fd(file))).constData(),
                     O_PATH | O_CLOEXEC)) {
    id_ = heldId(int(handle_));
    if (!id_) {
        struct stat st {};
        if (::fstat(fd(file), &st) == 0)
            id_ = FileId{quint64(st.st_dev), quint64(st.st_ino)};
    }
}

FileIdHold::~FileIdHold() {
    if (handle_ >= 0)
        ::close(int(handle_));
}

bool nameCanExist(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    return native.size() < PATH_MAX && native.size() - native.lastIndexOf('/') - 1 <= NAME_MAX;
}

qint64 readAt(const OpenFile& file, char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd(file), buffer + done, size_t(length - done), offset + done);
        if (n == 0)
            break;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(file.path());
        done += n;
    }
    return done;
}

void writeAt(const OpenFile& file, const char* buffer, qint64 length, qint64 offset) {
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd(file), buffer + done, size_t(length - done), offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw errnoError(n < 0 ? errno : EIO, file.path());
        done += n;
    }
}

// A disk too full for the copy fails here, before anything is written, and later writes find their
// blocks allocated, which makes writes that do not line up with pages markedly cheaper. The length
// stays what was written, so a copy cut short never looks complete.
bool parts::reserve(const OpenFile& file, qint64 from, qint64 end) {
    while (::fallocate(fd(file), FALLOC_FL_KEEP_SIZE, from, end - from) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS)
            return false;
        if (errno != EINTR)
            fail(file.path());
    }
    return true;
}

qint64 systemCopy(const OpenFile& source, const OpenFile& target, qint64 offset, qint64 length) {
    qint64 done = 0;
    while (done < length) {
        loff_t from = offset + done;
        loff_t to = from;
        const ssize_t n = ::copy_file_range(fd(source), &from, fd(target), &to,
                                            size_t(std::min<qint64>(length - done, 1 << 30)), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The end of the source; or the kernel will not copy between these two files (EXDEV,
        // EINVAL, EOPNOTSUPP, ENOSYS, a sandbox's EPERM, EBADF where a file system wants its own
        // reads), or it failed: the buffer copies the rest, and fails there on a real error.
        break;
    }
    return done;
}

} // namespace tarsel::platform
