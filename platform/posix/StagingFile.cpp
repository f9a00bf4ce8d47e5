#include "platform/StagingFile.h"

#include "platform/AccessRights.h"
#include "platform/FileParts.h"
#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Someone may have put another file under our name meanwhile.
bool stillNamed(const QString& path, quint64 device, quint64 inode) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && quint64(st.st_dev) == device &&
           quint64(st.st_ino) == inode;
}

// Best effort: the new release is already in service, and should the rename be lost in a crash,
// users find the old release, whole.
void syncFolder(const QString& folder) {
    const int dfd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return;
    ::fsync(dfd);
    ::close(dfd);
}

} // namespace

StagingFile::StagingFile(const QString& target, qint64 length) : target_(target) {
    const QString folder = folderOf(target);
    const QString name = target.mid(target.lastIndexOf(QLatin1Char('/')) + 1);
    QString path;
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        path =
            (folder == QLatin1String("/") ? folder : folder + QLatin1Char('/')) + stagingName(name);
        fd = ::open(QFile::encodeName(path).constData(),
                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            throw errnoError(errno, path);
    }
    if (fd < 0)
        throw errnoError(EEXIST, path);
    file_.emplace(fd, path);
    try {
        struct stat st {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &st) != 0)
            throw errnoError(errno, path);
        device_ = st.st_dev;
        index_ = st.st_ino;
        parts::reserve(*file_, length);
    } catch (const RunTimeError&) {
        ::unlink(QFile::encodeName(path).constData());
        throw;
    }
}

StagingFile::~StagingFile() {
    if (!committed_ && stillNamed(path(), device_, index_))
        ::unlink(QFile::encodeName(path()).constData());
}

QString StagingFile::openPath() const {
    return QStringLiteral("/proc/self/fd/") + QString::number(file_->handle());
}

OpenFile StagingFile::readBack(Yielder& yielder) {
    const int fd = int(file_->handle());
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw errnoError(errno, path());
    constexpr off_t Slice = off_t(8) << 20;
    for (off_t offset = 0; offset < st.st_size; offset += Slice) {
        // Writes the slice out and waits for it; the final fsync then has only the rest to do.
        if (::sync_file_range(fd, offset, Slice,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
            errno != ENOSYS && errno != EINVAL)
            throw errnoError(errno, path());
        yielder.yield();
    }
    if (::fsync(fd) != 0)
        throw errnoError(errno, path());
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    // The same open file, lock and all: a share that locks per handle sees no second open.
    const int reader = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (reader < 0)
        throw errnoError(errno, path());
    return OpenFile(reader, path());
}

void StagingFile::commit(Yielder&) {
    adoptAccessRights(target_, file_->handle(), path());
    // Someone may have put another file under our name meanwhile: never move what we did not write.
    if (!stillNamed(path(), device_, index_))
        throw errnoError(ENOENT, path());
    if (::rename(QFile::encodeName(path()).constData(), QFile::encodeName(target_).constData()) !=
        0)
        throw errnoError(errno, target_);
    committed_ = true;
    syncFolder(folderOf(target_));
}

void removeOrphanedStagingFiles(const QString& target) {
    const QString folder = folderOf(target);
    const QByteArray dirName = QFile::encodeName(folder);
    DIR* dir = ::opendir(dirName.constData());
    if (!dir)
        return;
    const int dfd = ::dirfd(dir);
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(dir)) {
        if (!isStagingName(QFile::decodeName(e->d_name)))
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {};
        struct stat named {};
        // A lock we can take means no running copy on this computer holds the file; one written
        // to lately may belong to a copy on another computer, whose lock this one cannot see. The
        // name must still be that file.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
            qint64(now - held.st_mtime) * 1000 >= OrphanAgeMs &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == held.st_ino && named.st_dev == held.st_dev)
            ::unlinkat(dfd, e->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

bool sameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    if (a == b)
        return true;
    struct stat sa {};
    struct stat sb {};
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 &&
           ::stat(QFile::encodeName(b).constData(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool isNonFileEntry(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) &&
           !S_ISLNK(st.st_mode);
}

} // namespace tarsel::platform
