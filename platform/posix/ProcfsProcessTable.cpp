#include "platform/posix/ProcfsProcessTable.h"

#include "platform/posix/ErrnoError.h"

#include <QFile>
#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tarsel::platform {

namespace {

std::optional<QByteArray> readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

struct StatFields {
    char state;
    quint64 startTime; // clock ticks after boot: with the pid, it names one process for good
};

std::optional<StatFields> readStat(const QString& dir) {
    const std::optional<QByteArray> text = readWhole(dir + QStringLiteral("/stat"));
    // "pid (comm) state ..." where comm may itself hold blanks and parentheses.
    const qsizetype close = text ? text->lastIndexOf(')') : -1;
    if (close < 0)
        return std::nullopt;
    const QList<QByteArray> fields = text->mid(close + 1).simplified().split(' ');
    constexpr int StartTimeField = 22 - 3; // fields counted from the state, the third
    if (fields.size() <= StartTimeField || fields.first().size() != 1)
        return std::nullopt;
    bool ok = false;
    const quint64 startTime = fields.at(StartTimeField).toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return StatFields{fields.first().at(0), startTime};
}

QString firstWordBaseName(const QByteArray& cmdline) {
    const qsizetype end = cmdline.indexOf('\0');
    const QString word = QFile::decodeName(end < 0 ? cmdline : cmdline.left(end));
    const qsizetype cut =
        std::max(word.lastIndexOf(QLatin1Char('/')), word.lastIndexOf(QLatin1Char('\\')));
    return word.mid(cut + 1);
}

QString processDir(const QString& root, qint64 pid) {
    return root + QLatin1Char('/') + QString::number(pid);
}

// Through syscall(): the C library's own wrappers are missing or lack C linkage in some releases.
int pidfdOpen(qint64 pid) {
    return int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
}

int pidfdSignal(int pidfd, int signal) {
    return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

bool sameName(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// The image name under which the process matches `name`, if it does.
std::optional<QString> matchingImageName(const QString& dir, const QString& name) {
    const std::optional<QByteArray> comm = readWhole(dir + QStringLiteral("/comm"));
    const std::optional<QByteArray> cmdline = readWhole(dir + QStringLiteral("/cmdline"));
    if (!comm || !cmdline)
        return std::nullopt;
    const QString commName = QFile::decodeName(comm->endsWith('\n') ? comm->chopped(1) : *comm);
    if (sameName(commName, name))
        return commName;
    // comm is cut short at 15 characters, and under Wine it may name the loader instead.
    const QString commandName = firstWordBaseName(*cmdline);
    if (sameName(commandName, name))
        return commandName;
    return std::nullopt;
}

// The owner of a process's folder is the process's real user.
bool ownedByUser(const QString& dir) {
    struct stat info {};
    return ::stat(QFile::encodeName(dir).constData(), &info) == 0 && info.st_uid == ::getuid();
}

// The name a holder is listed under, which a query for it would match: its comm, unless comm is
// the first cmdline word's base name cut short, or that word names a Windows program and comm
// does not (under Wine comm may name the loader).
QString imageNameOf(const QString& dir) {
    constexpr qsizetype CommLength = 15;
    const QByteArray comm = readWhole(dir + QStringLiteral("/comm")).value_or(QByteArray());
    const QString commName = QFile::decodeName(comm.endsWith('\n') ? comm.chopped(1) : comm);
    const QString commandName =
        firstWordBaseName(readWhole(dir + QStringLiteral("/cmdline")).value_or(QByteArray()));
    const auto isExe = [](const QString& name) {
        return name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive);
    };
    const bool cutShort = commName.size() == CommLength && commandName.startsWith(commName);
    if (commName.isEmpty() || cutShort || (isExe(commandName) && !isExe(commName)))
        return commandName;
    return commName;
}

using FileId = std::pair<dev_t, ino_t>;

// Whether the process holds one of `files` open. Another user's descriptors are not ours to read:
// `unseen` is then set.
bool holdsAny(const QString& dir, const std::set<FileId>& files, bool& unseen) {
    const std::unique_ptr<DIR, int (*)(DIR*)> fds(
        ::opendir(QFile::encodeName(dir + QStringLiteral("/fd")).constData()), ::closedir);
    if (!fds) {
        unseen = unseen || errno == EACCES || errno == EPERM;
        return false;
    }
    while (const dirent* entry = ::readdir(fds.get())) {
        // Each entry is a link to what the descriptor holds; stat follows it to the file itself,
        // under whatever name it was opened, even one removed since.
        struct stat info {};
        if (entry->d_name[0] != '.' &&
            ::fstatat(::dirfd(fds.get()), entry->d_name, &info, 0) == 0 &&
            files.contains({info.st_dev, info.st_ino}))
            return true;
    }
    return false;
}

} // namespace

// Gone processes, zombies and this program's own are passed over.
template <typename Visit> void ProcfsProcessTable::forEachRunning(Visit visit) const {
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(
        ::opendir(QFile::encodeName(root_).constData()), ::closedir);
    if (!listing)
        throw errnoError(errno, root_);
    const qint64 self = ::getpid();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(listing.get());
        if (!entry)
            break;
        bool isPid = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&isPid);
        if (!isPid || pid <= 0 || pid == self)
            continue;
        // A process that is gone by now, or ended but not yet reaped, is not running.
        const QString dir = processDir(root_, pid);
        const std::optional<StatFields> stat = readStat(dir);
        if (!stat || stat->state == 'Z' || stat->state == 'X')
            continue;
        visit(pid, dir, stat->startTime);
    }
    if (errno != 0)
        throw errnoError(errno, root_);
}

ProcfsProcessTable::ProcfsProcessTable(QString procRoot) : root_(std::move(procRoot)) {}

std::vector<ProcessEntry> ProcfsProcessTable::processesNamed(const QString& name) {
    listedStartTimes_.clear();
    std::vector<ProcessEntry> found;
    forEachRunning([&](qint64 pid, const QString& dir, quint64 startTime) {
        if (std::optional<QString> image = matchingImageName(dir, name)) {
            found.push_back({pid, *image, startTime, ownedByUser(dir)});
            listedStartTimes_[pid] = startTime;
        }
    });
    return found;
}

std::optional<std::vector<ProcessEntry>> ProcfsProcessTable::holdersOf(const QStringList& paths) {
    // Compared by device and inode: a file held under another name (a hard link, another
    // spelling of the path) is the same file.
    // A path that cannot be looked at (missing, EACCES, a link loop) leads to no file to find
    // among the descriptors, and a folder is no front end or lock file: /proc still answers for
    // the other paths, so one such path never makes the answer unknown.
    std::set<FileId> files;
    for (const QString& path : paths) {
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode))
            files.insert({info.st_dev, info.st_ino});
    }
    std::vector<ProcessEntry> found;
    std::unordered_map<qint64, quint64> listed;
    bool unseen = false;
    try {
        if (!files.empty())
            forEachRunning([&](qint64 pid, const QString& dir, quint64 startTime) {
                if (holdsAny(dir, files, unseen)) {
                    found.push_back({pid, imageNameOf(dir), startTime, ownedByUser(dir)});
                    listed[pid] = startTime;
                }
            });
    } catch (const RunTimeError&) {
        return std::nullopt;
    }
    listedStartTimes_ = std::move(listed);
    sawOthers_ = !unseen;
    return found;
}

bool ProcfsProcessTable::requestClose(qint64 pid) {
    return signalListed(pid, SIGTERM) == 0;
}

int ProcfsProcessTable::terminate(qint64 pid) {
    const int answer = signalListed(pid, SIGKILL);
    if (answer == 0)
        listedStartTimes_.erase(pid);
    return answer;
}

int ProcfsProcessTable::signalListed(qint64 pid, int signal) {
    const auto listed = listedStartTimes_.find(pid);
    if (listed == listedStartTimes_.end())
        return ESRCH;
    // Pin the process before checking that it is still the one listed, so that the signal cannot
    // reach a newcomer under a reused pid. Without pidfds (old kernels, strict seccomp profiles)
    // the check narrows that window to a moment.
    const int pidfd = pidfdOpen(pid);
    if (pidfd < 0 && errno != ENOSYS && errno != EPERM)
        return errno;
    const std::optional<StatFields> now = readStat(processDir(root_, pid));
    int answer = ESRCH;
    if (now && now->startTime == listed->second) {
        const int rc = pidfd >= 0 ? pidfdSignal(pidfd, signal) : ::kill(pid_t(pid), signal);
        answer = rc == 0 ? 0 : errno;
    }
    if (pidfd >= 0)
        ::close(pidfd);
    return answer;
}

std::unique_ptr<ProcessTable> systemProcessTable() {
    return std::make_unique<ProcfsProcessTable>();
}

} // namespace tarsel::platform
