#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <cstring>

namespace tarsel::platform {

RunTimeError errnoError(int err, const QString& what) {
    ErrorKind kind = ErrorKind::System;
    switch (err) {
    case ENOENT:
        kind = ErrorKind::FileNotFound;
        break;
    case ENOTDIR:
        kind = ErrorKind::PathNotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        kind = ErrorKind::PermissionDenied;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        kind = ErrorKind::DiskFull;
        break;
    case EIO:
        kind = ErrorKind::DeviceIO;
        break;
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EEXIST:
    case EXDEV:
        kind = ErrorKind::PathFileAccess;
        break;
    default:
        break;
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(err));
    return RunTimeError(kind, err, what.isEmpty() ? reason : what + QStringLiteral(": ") + reason);
}

} // namespace tarsel::platform
