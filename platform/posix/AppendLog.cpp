#include "platform/AppendLog.h"

#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarsel::platform {

void appendLine(const QString& path, const QByteArray& line) {
    // O_APPEND moves to the end and writes in one step, so appenders never overwrite each other.
    // O_NONBLOCK: a FIFO does not wait for a reader (ENXIO without one), and is refused below.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0)
        throw errno == ENXIO || errno == EISDIR ? notRegularFile(path) : errnoError(errno, path);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        throw S_ISREG(st.st_mode) ? errnoError(err, path) : notRegularFile(path);
    }
    ssize_t written;
    do
        written = ::write(fd, line.constData(), size_t(line.size()));
    while (written < 0 && errno == EINTR);
    const int writeError = errno;
    // A share may report a failed write only when the file is closed.
    const bool closed = ::close(fd) == 0;
    const int closeError = errno;
    if (written < 0)
        throw errnoError(writeError, path);
    // The rest is not written after it: a second write could land after another process's line.
    if (written != line.size())
        throw RunTimeError(ErrorKind::DiskFull,
                           path + QStringLiteral(": only %1 of the line's %2 bytes "
                                                 "could be written")
                                      .arg(written)
                                      .arg(line.size()));
    if (!closed)
        throw errnoError(closeError, path);
}

} // namespace tarsel::platform
