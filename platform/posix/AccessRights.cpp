#include "platform/AccessRights.h"

#include "platform/Paths.h"
#include "platform/StagingFile.h"
#include "platform/posix/ErrnoError.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

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
void giveRights(int fd, const QString& newVersion, mode_t mode,
                const std::optional<QByteArray>& acl) {
    if (acl) {
        if (::fsetxattr(fd, AclName, acl->constData(), size_t(acl->size()), 0) != 0 &&
            !withoutAcl(errno))
            throw errnoError(errno, newVersion);
    } else if (::fremovexattr(fd, AclName) != 0 && !withoutAcl(errno)) {
        throw errnoError(errno, newVersion);
    }
    // Last, as it rewrites the ACL's owner, mask and other entries from the mode: they agree with
    // the ACL given.
    if (::fchmod(fd, mode) != 0)
        throw errnoError(errno, newVersion);
}

// What a new file in the folder gets (the umask, the folder's default ACL), as the system alone
// decides it: the rights of a file made there under a staging name and removed at once. Owner and
// group are those the staging file already has, made by this process in this folder.
void giveNewFileRights(const QString& oldVersion, int fd, const QString& newVersion) {
    const QString probe = folderOf(newVersion) + stagingName(fileNameOf(oldVersion));
    const QByteArray name = QFile::encodeName(probe);
    const int made =
        ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (made < 0)
        throw errnoError(errno, newVersion);
    struct stat st {};
    const bool known = ::fstat(made, &st) == 0;
    const int statError = errno;
    ::close(made);
    std::optional<QByteArray> acl;
    try {
        if (!known)
            throw errnoError(statError, newVersion);
        acl = aclOf(probe);
    } catch (const RunTimeError&) {
        ::unlink(name.constData());
        throw;
    }
    ::unlink(name.constData());
    giveRights(fd, newVersion, st.st_mode & 0777, acl);
}

// ACL entries as the kernel keeps them in the extended attribute: a version, then tag, permission
// and id, little-endian.
constexpr int AclHeaderSize = 4;
constexpr int AclEntrySize = 8;
constexpr quint16 AclGroupObj = 0x04;
constexpr quint16 AclMask = 0x10;

// Where the entry with `tag` begins; -1 where there is none.
qsizetype aclEntry(const QByteArray& acl, quint16 tag) {
    for (qsizetype at = AclHeaderSize; at + AclEntrySize <= acl.size(); at += AclEntrySize)
        if (qFromLittleEndian<quint16>(acl.constData() + at) == tag)
            return at;
    return -1;
}

QString ownerName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QString::number(uid);
}

QString groupName(gid_t gid) {
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

RunTimeError notKept(const QString& newVersion, const struct stat& old, bool owner, bool group) {
    const QString user = ownerName(old.st_uid);
    const QString team = groupName(old.st_gid);
    const QString lost = owner && group ? QStringLiteral("owner %1 and group %2").arg(user, team)
                         : owner        ? QStringLiteral("owner %1").arg(user)
                                        : QStringLiteral("group %1").arg(team);
    return RunTimeError(
        ErrorKind::PermissionDenied, EPERM,
        QStringLiteral("%1 could not keep the old version's %2: only the superuser gives a file "
                       "away, and only a member of a group hands a file to it. What they were let "
                       "do beyond everyone else is taken from the new version, never given to the "
                       "runner's group; an administrator gives it back with chown %3:%4 on it.")
            .arg(newVersion, lost, user, team));
}

} // namespace

std::optional<RunTimeError> adoptAccessRights(const QString& oldVersion, qintptr handle,
                                              const QString& newVersion) {
    const int fd = int(handle);
    struct stat old {};
    // stat, not lstat: behind a link, users had the rights of the file it names. A link that
    // names no file, or anything but a file, leaves a new file's rights.
    const bool found = ::stat(QFile::encodeName(oldVersion).constData(), &old) == 0;
    if (!found && errno != ENOENT && errno != ELOOP)
        throw errnoError(errno, oldVersion);
    if (!found || !S_ISREG(old.st_mode)) {
        giveNewFileRights(oldVersion, fd, newVersion);
        return std::nullopt;
    }
    std::optional<QByteArray> acl = aclOf(oldVersion);

    // Owner and group first: a change of owner may clear mode bits.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
        if (!notPermitted(errno))
            throw errnoError(errno, newVersion);
        if (::fchown(fd, uid_t(-1), old.st_gid) != 0 && !notPermitted(errno))
            throw errnoError(errno, newVersion);
    }
    struct stat now {};
    if (::fstat(fd, &now) != 0)
        throw errnoError(errno, newVersion);
    const bool ownerKept = now.st_uid == old.st_uid;
    const bool groupKept = now.st_gid == old.st_gid;

    // The owner may write: a new release is never read-only.
    mode_t mode = (old.st_mode & 0777) | S_IWUSR;
    // The runner owns the new version and may change its bits at will: it keeps what a run needs.
    if (!ownerKept)
        mode = (mode & ~S_IRWXU) | S_IRUSR | S_IWUSR;
    // The owning group's bits would now be the runner's group's: its members keep what everyone
    // else may. Beside an ACL's mask, which the group bits are then, the owning group's entry goes
    // instead, and the named entries keep what they give.
    if (!groupKept) {
        const qsizetype group =
            acl && aclEntry(*acl, AclMask) >= 0 ? aclEntry(*acl, AclGroupObj) : -1;
        if (group >= 0)
            qToLittleEndian<quint16>(0, acl->data() + group + 2);
        else
            mode &= mode_t(~S_IRWXG) | mode_t((mode & S_IRWXO) << 3);
    }
    // Without an ACL of its own the old version must not pass on one that the folder's default
    // ACL gave the staging file.
    giveRights(fd, newVersion, mode, acl);
    if (ownerKept && groupKept)
        return std::nullopt;
    return notKept(newVersion, old, !ownerKept, !groupKept);
}

} // namespace tarsel::platform
