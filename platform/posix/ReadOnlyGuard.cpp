#include "platform/ReadOnlyGuard.h"

#include "platform/RunTimeError.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace tarsel::platform {

ReadOnlyGuard::ReadOnlyGuard(const QString& path) : path_(path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        throw RunTimeError::fromErrno(errno, path);
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR))
        return;
    if (::chmod(name.constData(), (st.st_mode & 07777) | S_IWUSR) != 0)
        throw RunTimeError::fromErrno(errno, path);
    mode_ = st.st_mode & 07777;
    restore_ = true;
}

ReadOnlyGuard::~ReadOnlyGuard() {
    if (restore_)
        ::chmod(QFile::encodeName(path_).constData(), mode_);
}

} // namespace tarsel::platform
