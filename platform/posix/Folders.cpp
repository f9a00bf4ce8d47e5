#include "platform/Folders.h"

#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace tarsel::platform {

bool entryExists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool makeFolder(const QString& path) {
    // 0777: the umask takes off what a new folder must not have, as for every other program.
    if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
        return true;
    const int err = errno;
    struct stat st {};
    if (err == EEXIST && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        return false;
    throw errnoError(err, path);
}

} // namespace tarsel::platform
