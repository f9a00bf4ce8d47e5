#include "platform/ReadOnlyGuard.h"

#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarsel::platform {

// Works through an open descriptor, so that a name swapped for a link meanwhile never leads the
// change to a file outside the folder. A rename over the file needs no write permission on it
// where Linux decides; a share may decide as Windows does.
ReadOnlyGuard::ReadOnlyGuard(const QString& path) : path_(path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOENT)
            return; // a symbolic link, whose file is not ours to change; or no old release
        throw errnoError(errno, path);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw errnoError(err, path);
    }
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR)) {
        ::close(fd);
        return;
    }
    if (::fchmod(fd, (st.st_mode & 07777) | S_IWUSR) != 0) {
        const int err = errno;
        ::close(fd);
        throw errnoError(err, path);
    }
    handle_ = fd;
    saved_ = st.st_mode & 07777;
}

// Through the descriptor, which still reaches the old release once another file took its name.
// Best effort: with no other name left it is gone anyway.
ReadOnlyGuard::~ReadOnlyGuard() {
    if (handle_ < 0)
        return;
    ::fchmod(int(handle_), mode_t(saved_));
    ::close(int(handle_));
}

} // namespace tarsel::platform
