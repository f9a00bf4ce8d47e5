#include "platform/StagingFile.h"

#include "platform/RunTimeError.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

const QString Marker = QStringLiteral(".tarsel-");
constexpr int RandomLength = 12;
constexpr int NameMax = 255;

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString randomSuffix() {
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString s;
    for (int i = 0; i < RandomLength; ++i)
        s += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof alphabet) - 1)]);
    return s;
}

// "." + the target's name, shortened so that the whole name fits the file system's limit.
QString stagingName(const QString& targetName) {
    const int room = NameMax - 1 - int(Marker.size()) - RandomLength;
    QString base = targetName;
    while (QFile::encodeName(base).size() > room)
        base.chop(1);
    return QLatin1Char('.') + base + Marker + randomSuffix();
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

StagingFile::StagingFile(const QString& target) : target_(target) {
    const QString folder = folderOf(target);
    const QString name = target.mid(target.lastIndexOf(QLatin1Char('/')) + 1);
    for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
        path_ =
            (folder == QLatin1String("/") ? folder : folder + QLatin1Char('/')) + stagingName(name);
        fd_ = ::open(QFile::encodeName(path_).constData(),
                     O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST)
            throw RunTimeError::fromErrno(errno, path_);
    }
    if (fd_ < 0)
        throw RunTimeError::fromErrno(EEXIST, path_);
    struct stat st {};
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::unlink(QFile::encodeName(path_).constData());
        ::close(fd_);
        fd_ = -1;
        throw RunTimeError::fromErrno(err, path_);
    }
    dev_ = st.st_dev;
    ino_ = st.st_ino;
}

StagingFile::~StagingFile() {
    if (fd_ < 0)
        return;
    if (!committed_ && stillOurs())
        ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
}

bool StagingFile::stillOurs() const {
    struct stat st {};
    return ::lstat(QFile::encodeName(path_).constData(), &st) == 0 && quint64(st.st_dev) == dev_ &&
           quint64(st.st_ino) == ino_;
}

QString StagingFile::openPath() const {
    return QStringLiteral("/proc/self/fd/") + QString::number(fd_);
}

void StagingFile::flushAndDropCache(Yielder& yielder) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        throw RunTimeError::fromErrno(errno, path_);
    constexpr off_t Slice = off_t(8) << 20;
    for (off_t offset = 0; offset < st.st_size; offset += Slice) {
        // Writes the slice out and waits for it; the final fsync then has only the rest to do.
        if (::sync_file_range(fd_, offset, Slice,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
            errno != ENOSYS && errno != EINVAL)
            throw RunTimeError::fromErrno(errno, path_);
        yielder.yield();
    }
    if (::fsync(fd_) != 0)
        throw RunTimeError::fromErrno(errno, path_);
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
}

void StagingFile::commit() {
    // Someone may have put another file under our name meanwhile: never move what we did not write.
    if (!stillOurs())
        throw RunTimeError::fromErrno(ENOENT, path_);
    if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(target_).constData()) != 0)
        throw RunTimeError::fromErrno(errno, target_);
    committed_ = true;
    syncFolder(folderOf(target_));
}

bool isStagingName(const QString& name) {
    const qsizetype at = name.lastIndexOf(Marker);
    return name.startsWith(QLatin1Char('.')) && at > 0 &&
           name.size() - at - Marker.size() == RandomLength;
}

void removeOrphanedStagingFiles(const QString& target) {
    const QString folder = folderOf(target);
    const QByteArray dirName = QFile::encodeName(folder);
    DIR* dir = ::opendir(dirName.constData());
    if (!dir)
        return;
    const int dfd = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        if (!isStagingName(QFile::decodeName(e->d_name)))
            continue;
        const int fd = ::openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {};
        struct stat named {};
        // A lock we can take means no running copy holds the file; the name must still be that
        // file.
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == ::geteuid() &&
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
