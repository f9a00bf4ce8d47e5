#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <cstring>

namespace tarsel::platform {

RunTimeError errnoError(int err, const QString& what) {
    int number = err;
    switch (err) {
    case ENOENT:
        number = ErrNo::FileNotFound;
        break;
    case ENOTDIR:
        number = ErrNo::PathNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        number = ErrNo::PermissionDenied;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        number = ErrNo::DiskFull;
        break;
    case EIO:
        number = ErrNo::DeviceIO;
        break;
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EEXIST:
    case EXDEV:
        number = ErrNo::PathFileAccess;
        break;
    default:
        break;
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(err));
    return RunTimeError(number, what.isEmpty() ? reason : what + QStringLiteral(": ") + reason);
}

} // namespace tarsel::platform
