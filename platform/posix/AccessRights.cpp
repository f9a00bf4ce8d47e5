#include "platform/AccessRights.h"

#include "platform/posix/ErrnoError.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

constexpr char AclName[] = "system.posix_acl_access";

// The file has no ACL, or its file system keeps none.
bool withoutAcl(int err) {
    return err == ENODATA || err == ENOTSUP || err == EOPNOTSUPP;
}

// Only root gives a file away, only a member hands it to a group; EINVAL: an id that this user
// namespace cannot name.
bool notPermitted(int err) {
    return err == EPERM || err == EINVAL;
}

std::optional<QByteArray> aclOf(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        const ssize_t size = ::getxattr(name.constData(), AclName, nullptr, 0);
        if (size < 0) {
            if (withoutAcl(errno))
                return std::nullopt;
            throw errnoError(errno, path);
        }
        QByteArray acl(size, '\0');
        const ssize_t read = ::getxattr(name.constData(), AclName, acl.data(), size_t(size));
        if (read >= 0)
            return acl.left(read);
        // ERANGE: the ACL grew between the two calls.
        if (errno != ERANGE)
            throw errnoError(errno, path);
    }
}

} // namespace

void adoptAccessRights(const QString& oldVersion, qintptr handle, const QString& stagingPath) {
    struct stat old {};
    // stat, not lstat: behind a link, users had the rights of the file it names. A link that
    // names no file leaves a new file's rights.
    if (::stat(QFile::encodeName(oldVersion).constData(), &old) != 0) {
        if (errno == ENOENT || errno == ELOOP)
            return;
        throw errnoError(errno, oldVersion);
    }
    if (!S_ISREG(old.st_mode))
        return;
    const std::optional<QByteArray> acl = aclOf(oldVersion);
    const int fd = int(handle);

    // Owner and group first: a change of owner may clear mode bits.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (!notPermitted(errno))
            throw errnoError(errno, stagingPath);
        if (::fchown(fd, uid_t(-1), old.st_gid) != 0 && !notPermitted(errno))
            throw errnoError(errno, stagingPath);
    }
    // Without an ACL of its own the old version must not pass on one that the folder's default
    // ACL gave the staging file.
    if (acl) {
        if (::fsetxattr(fd, AclName, acl->constData(), size_t(acl->size()), 0) != 0 &&
            !withoutAcl(errno))
            throw errnoError(errno, stagingPath);
    } else if (::fremovexattr(fd, AclName) != 0 && !withoutAcl(errno)) {
        throw errnoError(errno, stagingPath);
    }
    // Last, as it rewrites the ACL's owner, mask and other entries from the mode: they agree with
    // the old version's ACL, but the owner may write (a new release is never read-only).
    if (::fchmod(fd, (old.st_mode & 0777) | S_IWUSR) != 0)
        throw errnoError(errno, stagingPath);
}

} // namespace tarsel::platform
