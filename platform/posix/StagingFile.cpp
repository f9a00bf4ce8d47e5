#include "platform/StagingFile.h"

#include "platform/AccessRights.h"
#include "platform/FileParts.h"
#include "platform/Paths.h"
#include "platform/StagingFileParts.h"
#include "platform/posix/ErrnoError.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

// The folder as the system opens it and a message names it: "." for a bare name, and without the
// trailing slash that folderOf() keeps, but the root's.
QString folderPath(const QString& path) {
    const QString folder = folderOf(path);
    if (folder.isEmpty())
        return QStringLiteral(".");
    return folder.size() == 1 ? folder : folder.chopped(1);
}

// Someone may have put another file under our name meanwhile.
bool stillNamed(const QString& path, quint64 device, quint64 inode) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && quint64(st.st_dev) == device &&
           quint64(st.st_ino) == inode;
}

QString inFolder(const QString& folder, const QString& name) {
    return (folder == QLatin1String("/") ? folder : folder + QLatin1Char('/')) + name;
}

// Moves `from` to `to` unless something is there already; 0, or the errno.
int renameWithoutReplacing(const QString& from, const QString& to) {
    const QByteArray source = QFile::encodeName(from);
    const QByteArray destination = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, destination.constData(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without it (some network file systems): a second name cannot take a name
    // that is taken.
    if (::link(source.constData(), destination.constData()) == 0) {
        ::unlink(source.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st {};
    if (::lstat(destination.constData(), &st) == 0)
        return EEXIST;
    return ::rename(source.constData(), destination.constData()) == 0 ? 0 : errno;
}

// A target whose folder is missing: the folder is what to name, as Windows names it.
RunTimeError creationError(int err, const QString& target) {
    const QString folder = folderPath(target);
    struct stat st {};
    if (err == ENOENT && ::stat(QFile::encodeName(folder).constData(), &st) != 0 &&
        (errno == ENOENT || errno == ENOTDIR))
        return RunTimeError(ErrorKind::PathNotFound, err,
                            folder + QStringLiteral(": Path not found"));
    return errnoError(err, target);
}

// Calls `visit` with the folder's descriptor and the name of every staging file there.
template <class Visit> void forEachStagingFile(const QString& folder, Visit&& visit) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    while (const dirent* e = ::readdir(dir))
        if (isStagingName(QFile::decodeName(e->d_name)))
            visit(::dirfd(dir), e->d_name);
    ::closedir(dir);
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

StagingFile::StagingFile(const QString& target, qint64 length, Yielder* yielder) : target_(target) {
    const QString folder = folderPath(target);
    const QString name = fileNameOf(target);
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        path_ = inFolder(folder, stagingName(name));
        fd = ::open(QFile::encodeName(path_).constData(),
                    O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST)
            throw creationError(errno, target);
    }
    if (fd < 0)
        throw errnoError(EEXIST, target);
    file_.emplace(fd, target);
    try {
        // The lock only keeps other runs' clean-up away. Where the file system keeps none (ENOLCK:
        // NFS without its lock service), the age rule does that alone, and the run goes on.
        ::flock(fd, LOCK_EX | LOCK_NB);
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            throw errnoError(errno, target);
        device_ = st.st_dev;
        index_ = st.st_ino;
        parts::reserveInPieces(*file_, length, yielder);
    } catch (...) {
        ::unlink(QFile::encodeName(path_).constData());
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

namespace {

// Slices of the copy are waited for one at a time while the writeback of the next few is under
// way: the disk always has work queued, and no wait grows long.
constexpr qint64 Slice = qint64(8) << 20;
constexpr qint64 Ahead = 4 * Slice;

void syncWhole(int fd, const QString& name) {
    int synced;
    while ((synced = ::fsync(fd)) != 0 && errno == EINTR) {
    }
    if (synced != 0)
        throw errnoError(errno, name);
}

} // namespace

StoredCopy StagingFile::readBack(Yielder& yielder) {
    const int fd = int(file_->handle());
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw errnoError(errno, file_->path());
    // The same open file, lock and all.
    const int reader = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (reader < 0)
        throw errnoError(errno, file_->path());
    return StoredCopy(OpenFile(reader, file_->path()), st.st_size, false, &yielder);
}

qint64 StoredCopy::readAt(char* buffer, qint64 length, qint64 offset) {
    const int fd = int(file_.handle());
    const QString& name = file_.path();
    const qint64 end = std::min(offset + std::max<qint64>(length, 0), length_);
    while (stored_ < end) {
        const qint64 ahead = std::min(stored_ + Ahead, length_);
        if (started_ < ahead) {
            // Best effort: the wait below writes what this did not start.
            ::sync_file_range(fd, started_, ahead - started_, SYNC_FILE_RANGE_WRITE);
            started_ = ahead;
        }
        if (::sync_file_range(fd, stored_, Slice,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
            // Made again once the yield has seen whether it was a cancel.
            if (errno == EINTR) {
                if (yielder_)
                    yielder_->yield();
                continue;
            }
            if (errno != ENOSYS && errno != EINVAL)
                throw errnoError(errno, name);
            // A file system that cannot wait for a part: the whole file, before anything is read.
            syncWhole(fd, name);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            stored_ = length_;
            durable_ = true;
            break;
        }
        // On storage, so its pages can go (the last partial page too: the slice ends on a page
        // boundary past the end): the read below then comes from there.
        ::posix_fadvise(fd, stored_, Slice, POSIX_FADV_DONTNEED);
        stored_ += Slice;
        // A wait and the read after it never add up to one long pause.
        if (yielder_)
            yielder_->yield();
    }
    // Whatever reads the last bytes learns that the file is whole on storage before it is used.
    // Nothing is dropped here: the pages now cached are the ones read back from storage, and
    // dropping a GiB of them would hold the run for a tenth of a second.
    if (!durable_ && offset + length >= length_) {
        syncWhole(fd, name);
        durable_ = true;
    }
    return platform::readAt(file_, buffer, length, offset);
}

std::optional<RunTimeError> StagingFile::commit(Yielder&, const QString& rightsOf) {
    std::optional<RunTimeError> notKept =
        adoptAccessRights(rightsOf.isEmpty() ? target_ : rightsOf, file_->handle(), target_);
    // Someone may have put another file under our name meanwhile: never move what we did not write.
    if (!stillNamed(path(), device_, index_))
        throw errnoError(ENOENT, path());
    if (::rename(QFile::encodeName(path()).constData(), QFile::encodeName(target_).constData()) !=
        0)
        throw errnoError(errno, target_);
    committed_ = true;
    syncFolder(folderPath(target_));
    return notKept;
}

SetAside::SetAside(const QString& path) : path_(path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)
            return;
        throw errnoError(errno, path);
    }
    if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
        return;
    // Best effort: a file that cannot be opened or locked is still moved, and the age rule alone
    // keeps other runs' clean-up away from it, as on a file system without locks.
    if (S_ISREG(st.st_mode)) {
        handle_ = ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle_ >= 0)
            ::flock(int(handle_), LOCK_EX | LOCK_NB);
    }
    const QString folder = folderPath(path);
    const QString base = fileNameOf(path);
    for (int attempt = 0; attempt < 8; ++attempt) {
        const QString aside = inFolder(folder, stagingName(base));
        const int err = renameWithoutReplacing(path, aside);
        if (err == EEXIST)
            continue;
        if (err == ENOENT) // gone meanwhile: nothing to set aside
            return;
        if (err != 0)
            throw errnoError(err, path);
        if (const std::optional<FileId> id = fileIdOf(aside)) {
            aside_ = aside;
            id_ = *id;
        }
        return;
    }
    throw errnoError(EEXIST, path);
}

SetAside::~SetAside() {
    if (!aside_.isEmpty() && stillNamed(aside_, id_.device, id_.index))
        ::unlink(QFile::encodeName(aside_).constData());
    if (handle_ >= 0)
        ::close(int(handle_));
}

void SetAside::putBack() {
    if (!aside_.isEmpty() && stillNamed(aside_, id_.device, id_.index) &&
        renameWithoutReplacing(aside_, path_) == 0)
        aside_.clear();
}

void removeIfSame(const QString& path, const FileId& id) {
    if (stillNamed(path, id.device, id.index))
        ::unlink(QFile::encodeName(path).constData());
}

void removeOrphanedStagingFiles(const QString& target) {
    const time_t now = ::time(nullptr);
    forEachStagingFile(folderPath(target), [now](int dfd, const char* name) {
        const int fd = ::openat(dfd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat held {};
        struct stat named {};
        // A running copy on this computer holds its file locked: a shared lock, which needs the
        // file open for reading alone (NFS takes flock for a byte-range lock, whose exclusive form
        // wants it open for writing), tells. Where the file system keeps no locks, the age decides
        // alone; a file written to lately may belong to a copy on another computer, whose lock
        // this one cannot see. The name must still be that file.
        const bool locked = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        if (!locked && ::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            held.st_uid == ::geteuid() && qint64(now - held.st_mtime) * 1000 >= OrphanAgeMs &&
            ::fstatat(dfd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev)
            ::unlinkat(dfd, name, 0);
        ::close(fd);
    });
}

std::vector<StagingLeftover> parts::listStagingLeftovers(const QString& target) {
    std::vector<StagingLeftover> found;
    forEachStagingFile(folderPath(target), [&](int dfd, const char* name) {
        struct stat st {};
        if (::fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            found.push_back({QFile::decodeName(name), qint64(st.st_blocks) * 512,
                             QDateTime::fromSecsSinceEpoch(st.st_mtime + OrphanAgeMs / 1000)});
    });
    return found;
}

bool parts::sameExistingFile(const QString& a, const QString& b) {
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
