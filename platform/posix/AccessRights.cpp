#include "platform/AccessRights.h"

#include "platform/StagingFile.h"
#include "platform/posix/ErrnoError.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
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

// Sets the permission bits and the POSIX ACL, or takes away one the file has.
void giveRights(int fd, const QString& stagingPath, mode_t mode,
                const std::optional<QByteArray>& acl) {
    if (acl) {
        if (::fsetxattr(fd, AclName, acl->constData(), size_t(acl->size()), 0) != 0 &&
            !withoutAcl(errno))
            throw errnoError(errno, stagingPath);
    } else if (::fremovexattr(fd, AclName) != 0 && !withoutAcl(errno)) {
        throw errnoError(errno, stagingPath);
    }
    // Last, as it rewrites the ACL's owner, mask and other entries from the mode: they agree with
    // the ACL given.
    if (::fchmod(fd, mode) != 0)
        throw errnoError(errno, stagingPath);
}

// What a new file in the folder gets (the umask, the folder's default ACL), as the system alone
// decides it: the rights of a file made there under a staging name and removed at once. Owner and
// group are those the staging file already has, made by this process in this folder.
void giveNewFileRights(const QString& oldVersion, int fd, const QString& stagingPath) {
    const qsizetype slash = stagingPath.lastIndexOf(QLatin1Char('/'));
    const QString probe = stagingPath.left(slash + 1) +
                          stagingName(oldVersion.mid(oldVersion.lastIndexOf(QLatin1Char('/')) + 1));
    const QByteArray name = QFile::encodeName(probe);
    const int made =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (made < 0)
        throw errnoError(errno, stagingPath);
    struct stat st {};
    const bool known = ::fstat(made, &st) == 0;
    const int statError = errno;
    ::close(made);
    std::optional<QByteArray> acl;
    try {
        if (!known)
            throw errnoError(statError, stagingPath);
        acl = aclOf(probe);
    } catch (const RunTimeError&) {
        ::unlink(name.constData());
        throw;
    }
    ::unlink(name.constData());
    giveRights(fd, stagingPath, st.st_mode & 0777, acl);
}

} // namespace

void adoptAccessRights(const QString& oldVersion, qintptr handle, const QString& stagingPath) {
    const int fd = int(handle);
    struct stat old {};
    // stat, not lstat: behind a link, users had the rights of the file it names. A link that
    // names no file, or anything but a file, leaves a new file's rights.
    const bool found = ::stat(QFile::encodeName(oldVersion).constData(), &old) == 0;
    if (!found && errno != ENOENT && errno != ELOOP)
        throw errnoError(errno, oldVersion);
    if (!found || !S_ISREG(old.st_mode)) {
        giveNewFileRights(oldVersion, fd, stagingPath);
        return;
    }
    const std::optional<QByteArray> acl = aclOf(oldVersion);

    // Owner and group first: a change of owner may clear mode bits.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (!notPermitted(errno))
            throw errnoError(errno, stagingPath);
        if (::fchown(fd, uid_t(-1), old.st_gid) != 0 && !notPermitted(errno))
            throw errnoError(errno, stagingPath);
    }
    // Without an ACL of its own the old version must not pass on one that the folder's default
    // ACL gave the staging file. The owner may write: a new release is never read-only.
    giveRights(fd, stagingPath, (old.st_mode & 0777) | S_IWUSR, acl);
}

} // namespace tarsel::platform
