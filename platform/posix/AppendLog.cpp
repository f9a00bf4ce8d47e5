#include "platform/AppendLog.h"

#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace tarsel::platform {

namespace {

// O_APPEND moves to the end and writes in one step, so appenders never overwrite each other.
// O_NONBLOCK: a FIFO does not wait for a reader (ENXIO without one), and is refused.
constexpr int AppendFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// The log open, made where nothing is at its name; -1 with errno otherwise. O_EXCL makes the file
// at the name itself: it fails on a symbolic link, whether or not the link leads anywhere.
int openOrMake(const QByteArray& name, bool& made) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (const int fd = ::open(name.constData(), AppendFlags); fd >= 0 || errno != ENOENT)
            return fd;
        if (const int fd = ::open(name.constData(), AppendFlags | O_CREAT | O_EXCL, 0666);
            fd >= 0 || errno != EEXIST) {
            made = fd >= 0;
            return fd;
        }
        // Made by another run meanwhile, or a link that leads nowhere: the second round tells.
    }
    return -1;
}

} // namespace

AppendLog::AppendLog(const QString& path) : path_(path) {
    const int fd = openOrMake(QFile::encodeName(path), made_);
    if (fd < 0) {
        // Missing, yet something is at its name: a link that leads nowhere.
        if (errno == EEXIST)
            throw RunTimeError(ErrorKind::PathFileAccess,
                               path + QStringLiteral(": a symbolic link to no file"));
        throw errno == ENXIO || errno == EISDIR ? notRegularFile(path) : errnoError(errno, path);
    }
    handle_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(int(std::exchange(handle_, -1)));
        throw S_ISREG(st.st_mode) ? errnoError(err, path) : notRegularFile(path);
    }
    id_ = FileId{quint64(st.st_dev), quint64(st.st_ino)};
}

AppendLog::~AppendLog() {
    if (handle_ >= 0)
        ::close(int(handle_));
}

void AppendLog::append(const QByteArray& line) {
    const int fd = int(handle_);
    ssize_t written;
    do
        written = ::write(fd, line.constData(), size_t(line.size()));
    while (written < 0 && errno == EINTR);
    if (written < 0)
        throw errnoError(errno, path_);
    if (written == line.size())
        return;
    // The rest is not written after it: a second write could land after another process's line.
    // The part written goes again, unless a line was appended after it meanwhile.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    struct stat st {};
    const bool takenBack = end >= written && ::fstat(fd, &st) == 0 && st.st_size == end &&
                           ::ftruncate(fd, end - written) == 0;
    throw RunTimeError(
        ErrorKind::DiskFull,
        path_ + QStringLiteral(": only %1 of the line's %2 bytes could be written%3")
                    .arg(written)
                    .arg(line.size())
                    .arg(takenBack ? QString() : QStringLiteral(", and they stay in the log")));
}

void AppendLog::close() {
    if (::close(int(std::exchange(handle_, -1))) != 0)
        throw errnoError(errno, path_);
}

} // namespace tarsel::platform
