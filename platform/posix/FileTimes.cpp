#include "platform/FileTimes.h"

#include "platform/DirectorySearch.h"
#include "platform/posix/DosAttrib.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

constexpr qint64 TicksPerSecond = 10'000'000;
constexpr qint64 UnixEpochSeconds = 11'644'473'600; // from 1601-01-01 to 1970-01-01
constexpr unsigned StatxMask = STATX_BASIC_STATS | STATX_BTIME;

// The search keeps nothing open; a value no descriptor can have tells a found entry from none.
constexpr qint32 SearchHandle = std::numeric_limits<qint32>::max();

// The Linux SMB client shows a file's creation time as this pseudo attribute, as a little-endian
// FILETIME, and takes a new one through it.
constexpr char CifsCreationTimeName[] = "user.cifs.creationtime";
constexpr quint32 CifsMagic = 0xFF534D42;
constexpr quint32 Smb2Magic = 0xFE534D42;

FILETIME fileTimeOf(const statx_timestamp& t) {
    constexpr qint64 maxSeconds =
        std::numeric_limits<qint64>::max() / TicksPerSecond - UnixEpochSeconds - 1;
    const qint64 seconds = std::clamp<qint64>(t.tv_sec, -UnixEpochSeconds, maxSeconds);
    return {quint64((seconds + UnixEpochSeconds) * TicksPerSecond + t.tv_nsec / 100)};
}

timespec timespecOf(const FILETIME& t) {
    return {time_t(qint64(t.ticks / TicksPerSecond) - UnixEpochSeconds),
            long(t.ticks % TicksPerSecond) * 100};
}

// A file named by its path (the search) or by an open descriptor (setting the times).
struct FileRef {
    int fd = -1;
    QByteArray path;

    bool stat(struct statx& st) const {
        return fd >= 0 ? ::statx(fd, "", AT_EMPTY_PATH, StatxMask, &st) == 0
                       : ::statx(AT_FDCWD, path.constData(), 0, StatxMask, &st) == 0;
    }

    bool onSmbMount() const {
        struct statfs fs {};
        const int rc = fd >= 0 ? ::fstatfs(fd, &fs) : ::statfs(path.constData(), &fs);
        return rc == 0 && (quint32(fs.f_type) == CifsMagic || quint32(fs.f_type) == Smb2Magic);
    }

    // The attribute's bytes; empty when it is missing, unreadable or longer than any we read.
    QByteArray xattr(const char* name) const {
        char buffer[256];
        const ssize_t n = fd >= 0 ? ::fgetxattr(fd, name, buffer, sizeof buffer)
                                  : ::getxattr(path.constData(), name, buffer, sizeof buffer);
        return n < 0 ? QByteArray() : QByteArray(buffer, n);
    }

    bool setXattr(const char* name, const QByteArray& value) const {
        return ::fsetxattr(fd, name, value.constData(), size_t(value.size()), 0) == 0;
    }
};

FILETIME creationTime(const FileRef& file, const struct statx& st) {
    if (file.onSmbMount()) {
        const QByteArray cifs = file.xattr(CifsCreationTimeName);
        if (cifs.size() == 8 && qFromLittleEndian<quint64>(cifs.constData()) != 0)
            return {qFromLittleEndian<quint64>(cifs.constData())};
    }
    const auto dos = decodeDosAttrib(file.xattr(DosAttribName));
    if (dos && dos->createTime)
        return {*dos->createTime};
    if ((st.stx_mask & STATX_BTIME) && (st.stx_btime.tv_sec != 0 || st.stx_btime.tv_nsec != 0))
        return fileTimeOf(st.stx_btime);
    return fileTimeOf(st.stx_mtime);
}

// A local file system cannot set a birth time, so the creation time goes where Samba (or, on an SMB
// mount, the server) keeps it. The DOS attribute bits already stored are kept.
bool storeCreationTime(const FileRef& file, const FILETIME& creation) {
    if (file.onSmbMount()) {
        QByteArray value(8, '\0');
        qToLittleEndian<quint64>(creation.ticks, value.data());
        return file.setXattr(CifsCreationTimeName, value);
    }
    const auto stored = decodeDosAttrib(file.xattr(DosAttribName));
    return file.setXattr(DosAttribName, encodeDosAttrib(stored ? stored->attributes : Attr::Archive,
                                                        creation.ticks));
}

} // namespace

qint32 findFirstFile(const QString& fileName, WIN32_FIND_DATA& found) {
    const auto entry = findFirst(fileName);
    if (!entry)
        return InvalidHandle;
    const FileRef file{-1, QFile::encodeName(entry->path)};
    struct statx st {};
    if (!file.stat(st))
        return InvalidHandle;
    found.dwFileAttributes = entry->attributes;
    found.ftCreationTime = creationTime(file, st);
    found.ftLastAccessTime = fileTimeOf(st.stx_atime);
    found.ftLastWriteTime = fileTimeOf(st.stx_mtime);
    found.cFileName = entry->name;
    return SearchHandle;
}

bool lastWriteTimeOf(qintptr handle, FILETIME& time) {
    struct statx st {};
    if (!FileRef{int(handle), {}}.stat(st))
        return false;
    time = fileTimeOf(st.stx_mtime);
    return true;
}

qint32 openExistingForWriting(const QString& fileName) {
    // Non-blocking, so that a FIFO without a reader fails instead of hanging the window.
    return ::open(QFile::encodeName(fileName).constData(),
                  O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

qint32 setFileTime(qint32 handle, const FILETIME& creation, const FILETIME& lastAccess,
                   const FILETIME& lastWrite) {
    const FileRef file{handle, {}};
    struct statx st {};
    if (!file.stat(st))
        return 0;
    // Only a changed creation time is stored, so that stamping the other two works where extended
    // attributes do not.
    if (creationTime(file, st).ticks != creation.ticks && !storeCreationTime(file, creation))
        return 0;
    const timespec times[2] = {timespecOf(lastAccess), timespecOf(lastWrite)};
    return ::futimens(handle, times) == 0 ? 1 : 0;
}

void closeHandle(qint32 handle) {
    ::close(handle);
}

} // namespace tarsel::platform
