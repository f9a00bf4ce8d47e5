#include "support/TestHost.h"

#include "support/SettingsFixture.h"
#include "support/TestHostParts.h"

#include "core/RegistryKeys.h"
#include "platform/SettingsStore.h"
#include "platform/posix/ErrnoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtCore/qtestsupport_core.h>
#include <QtEndian>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <linux/kcmp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace tarsel::test {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

// Whether the file system of `folder` shares blocks between copies, so that copying 2 GiB costs
// nothing.
QString whyNoLargeFileInMemory() {
    struct statvfs room {};
    if (::statvfs("/dev/shm", &room) != 0)
        return QStringLiteral("no /dev/shm");
    if (quint64(room.f_bavail) * room.f_frsize < (quint64(5) << 30))
        return QStringLiteral("less than 5 GiB free in /dev/shm");
    return QString();
}

QString whyNoStrace() {
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        return QStringLiteral("strace is not installed (Debian package: strace)");
    QProcess probe;
    probe.start(QStringLiteral("strace"), {QStringLiteral("-qq"), QStringLiteral("-o"),
                                           QStringLiteral("/dev/null"), QStringLiteral("true")});
    if (probe.waitForFinished() && probe.exitStatus() == QProcess::NormalExit &&
        probe.exitCode() == 0)
        return QString();
    return QStringLiteral("strace cannot trace processes here: ") +
           QString::fromLocal8Bit(probe.readAllStandardError()).trimmed();
}

QString whyNoCheapCopy(const QString& folder) {
    const parts::ProbeFile from(folder), to(folder);
    if (!from.isOpen() || !to.isOpen() || ::write(int(from.handle()), "x", 1) != 1)
        return QStringLiteral("cannot create a file in ") + folder;
    const bool cheap = ::ioctl(int(to.handle()), FICLONE, int(from.handle())) == 0;
    return cheap ? QString()
                 : QStringLiteral("the file system of %1 copies every byte; it shares no blocks")
                       .arg(folder);
}

} // namespace

namespace parts {

qintptr createNewFile(const QString& path) {
    return ::open(native(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

void closeSystemHandle(qintptr handle) {
    ::close(int(handle));
}

// Only a file system that cannot reserve at all says so; any other failure is the probe's.
QString reserveRoom(const ProbeFile& probe, const QString& folder) {
    if (::fallocate(int(probe.handle()), 0, 0, 1) != 0 && errno == EOPNOTSUPP)
        return QStringLiteral("the file system of %1 cannot reserve room").arg(folder);
    return QString();
}

} // namespace parts

QString missing(Facility facility, const QString& folder) {
    const QString where = folder.isEmpty() ? QDir::tempPath() : folder;
    switch (facility) {
    case Facility::ReserveRoom:
        return parts::whyNoReservation(where);
    case Facility::CheapCopy:
        return whyNoCheapCopy(where);
    case Facility::LargeFileInMemory:
        return whyNoLargeFileInMemory();
    case Facility::AtomicAppend:
        return QString(); // O_APPEND on a local file system
    case Facility::HeldFileBlocksSwap:
        return QStringLiteral("Linux replaces a file that another program holds open: there is "
                              "nothing to wait for");
    case Facility::FullDrive:
        return QStringLiteral("on Linux the scenario driver fills a tmpfs of its own "
                              "(scenarios_test_process_faults)");
    case Facility::SystemCallFaults:
        return whyNoStrace();
    case Facility::CaseBlindNames:
        return QStringLiteral("Linux tells file names apart by case");
    default:
        return QString();
    }
}

bool catchesInterrupts(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

IdleProgram idleProgram() {
    return {QStandardPaths::findExecutable(QStringLiteral("sleep")), {QStringLiteral("60")}};
}

bool startIdleHolding(QProcess& process, const QString& program, const QString& path, bool deaf) {
    // An ignored signal stays ignored across exec, and so does an open descriptor.
    const QString script = QStringLiteral(R"(%1exec 3<"$1" && exec "$0" "${@:2}")")
                               .arg(deaf ? QStringLiteral("trap '' TERM; ") : QString());
    process.start(QStringLiteral("bash"), QStringList{QStringLiteral("-c"), script, program, path} +
                                              idleProgram().arguments);
    if (!process.waitForStarted())
        return false;
    // Until bash has exec'd, the process runs under bash's name; comm keeps 15 bytes of it.
    const QByteArray name = QFile::encodeName(QFileInfo(program).fileName()).left(15) + '\n';
    QFile comm(QStringLiteral("/proc/%1/comm").arg(process.processId()));
    return QTest::qWaitFor(
               [&] {
                   comm.close();
                   return process.state() != QProcess::Running ||
                          (comm.open(QIODevice::ReadOnly) && comm.readAll() == name);
               },
               10000) &&
           process.state() == QProcess::Running;
}

bool startHolder(QProcess&, const QString&, int) {
    return false;
}

QList<QPair<QString, QString>> otherSpellings(const QString& path) {
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    return {
        {QStringLiteral("doubled separator"), folder + QStringLiteral("//") + file.fileName()},
        {QStringLiteral("through the parent"),
         folder + QStringLiteral("/../") + QFileInfo(folder).fileName() + u'/' + file.fileName()},
        {QStringLiteral("relative"), QDir::current().relativeFilePath(path)}};
}

QString fullDriveRoot() {
    return QString();
}

bool makeFifo(const QString& path) {
    return ::mkfifo(native(path).constData(), 0600) == 0;
}

bool makeSymbolicLink(const QString& target, const QString& link) {
    return ::symlink(native(target).constData(), native(link).constData()) == 0;
}

bool makeHardLink(const QString& existing, const QString& link) {
    return ::link(native(existing).constData(), native(link).constData()) == 0;
}

QString setDosAttributes(const QString& path, quint32 attributes) {
    constexpr quint32 ReadOnly = 0x1, Hidden = 0x2, System = 0x4;
    if (attributes & System)
        return QStringLiteral("Linux has no system attribute");
    if (bool(attributes & Hidden) != QFileInfo(path).fileName().startsWith(u'.'))
        return QStringLiteral("on Linux a name that begins with a dot is hidden, and only such a "
                              "name");
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const mode_t mode = (attributes & ReadOnly) ? st.st_mode & ~S_IWUSR : st.st_mode | S_IWUSR;
    if (::chmod(native(path).constData(), mode & 07777) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

qsizetype openHandleCount() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System).size();
}

qsizetype threadCount() {
    return QDir(QStringLiteral("/proc/self/task"))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

qint64 allocatedBytes(qintptr handle) {
    struct stat st {};
    return ::fstat(int(handle), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

QByteArray metadataOf(const QString& path) {
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0)
        return QByteArray();
    const ssize_t xattrBytes = ::listxattr(native(path).constData(), nullptr, 0);
    return QByteArray::number(qint64(st.st_ctim.tv_sec)) + '.' +
           QByteArray::number(qint64(st.st_ctim.tv_nsec)) + ' ' + QByteArray::number(st.st_mode) +
           ' ' + QByteArray::number(qint64(xattrBytes));
}

QByteArray creationRecordOf(const QString& path) {
    char buffer[256];
    const ssize_t n = ::getxattr(native(path).constData(), "user.DOSATTRIB", buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
}

int errorNumberFor(Mistake) {
    return 53; // ENOENT
}

QString nameTooLongText() {
    return QString::fromLocal8Bit(std::strerror(ENAMETOOLONG));
}

QString deviceFile() {
    return QStringLiteral("/dev/zero");
}

QString wineVersion() {
    return QString();
}

QString memoryFolder() {
    return QStringLiteral("/dev/shm");
}

bool heldThroughOneHandle(const QString& path) {
    struct stat file {};
    if (::stat(native(path).constData(), &file) != 0)
        return false;
    std::vector<int> holding;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : fds) {
        struct stat st {};
        if (::fstat(name.toInt(), &st) == 0 && st.st_dev == file.st_dev && st.st_ino == file.st_ino)
            holding.push_back(name.toInt());
    }
    const pid_t self = ::getpid();
    for (const int fd : holding)
        if (::syscall(SYS_kcmp, self, self, KCMP_FILE, holding.front(), fd) != 0)
            return false;
    return !holding.empty();
}

bool runsAsRoot() {
    return ::geteuid() == 0;
}

bool changeOwner(const QString& path, uint user, uint group) {
    return ::lchown(native(path).constData(), uid_t(user), gid_t(group)) == 0;
}

namespace {

// This thread's capabilities (they are per thread), through the system calls themselves.
bool threadCapabilities(__user_cap_data_struct (&data)[2], bool set) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

} // namespace

UnprivilegedOwnerChanges::UnprivilegedOwnerChanges() {
    __user_cap_data_struct data[2] = {};
    if (!threadCapabilities(data, false)) {
        missing_ = QStringLiteral("cannot read this thread's capabilities");
        return;
    }
    if (!(data[0].effective & (1u << CAP_CHOWN)))
        return; // as unprivileged already
    data[0].effective &= ~(1u << CAP_CHOWN);
    if (!threadCapabilities(data, true))
        missing_ = QStringLiteral("cannot drop CAP_CHOWN from this thread");
    else
        dropped_ = true;
}

UnprivilegedOwnerChanges::~UnprivilegedOwnerChanges() {
    __user_cap_data_struct data[2] = {};
    if (dropped_ && threadCapabilities(data, false)) {
        data[0].effective |= 1u << CAP_CHOWN;
        threadCapabilities(data, true);
    }
}

QString giveUncommonRights(const QString& path, uint id) {
    if (!runsAsRoot())
        return QStringLiteral("only root can give a file to another owner");
    if (!changeOwner(path, id) ||
        !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                         QFile::WriteGroup | QFile::ReadOther))
        return QStringLiteral("cannot set the owner or mode of ") + path;
    // The kernel's form of "u::rw-,u:<id+1>:r--,g::rw-,m::rw-,o::r--": version 2, then tag,
    // permissions and id per entry, sorted by tag.
    struct Entry {
        quint16 tag, permissions;
        quint32 id;
    };
    const Entry entries[] = {
        {0x01, 6, ~0u}, {0x02, 4, id + 1}, {0x04, 6, ~0u}, {0x10, 6, ~0u}, {0x20, 4, ~0u}};
    QByteArray acl(4, '\0');
    qToLittleEndian<quint32>(2, acl.data());
    for (const Entry& e : entries) {
        char bytes[8];
        qToLittleEndian<quint16>(e.tag, bytes);
        qToLittleEndian<quint16>(e.permissions, bytes + 2);
        qToLittleEndian<quint32>(e.id, bytes + 4);
        acl.append(bytes, 8);
    }
    if (::setxattr(native(path).constData(), "system.posix_acl_access", acl.constData(),
                   size_t(acl.size()), 0) != 0)
        return errno == EOPNOTSUPP ? QStringLiteral("the file system of %1 keeps no ACLs").arg(path)
                                   : QStringLiteral("cannot set an ACL on ") + path;
    return QString();
}

QString othersMayOpen(const QString& path) {
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0)
        return QStringLiteral("cannot read its mode: ") + QString::fromLocal8Bit(strerror(errno));
    if (st.st_mode & 077)
        return QStringLiteral("mode %1").arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'));
    if (::getxattr(native(path).constData(), "system.posix_acl_access", nullptr, 0) >= 0)
        return QStringLiteral("an ACL");
    return QString();
}

QString accessRightsOf(const QString& path) {
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0)
        return QString();
    char acl[1024];
    const ssize_t size =
        ::getxattr(native(path).constData(), "system.posix_acl_access", acl, sizeof acl);
    return QStringLiteral("mode %1 owner %2 group %3 ACL %4")
        .arg(QString::number(st.st_mode & 07777, 8))
        .arg(st.st_uid)
        .arg(st.st_gid)
        .arg(size < 0 ? QStringLiteral("none")
                      : QString::fromLatin1(QByteArray(acl, size).toHex()));
}

PrivateNewFiles::PrivateNewFiles() : saved_(::umask(077)) {}

PrivateNewFiles::~PrivateNewFiles() {
    ::umask(mode_t(saved_));
}

bool killNow(qint64 pid) {
    return ::kill(pid_t(pid), SIGKILL) == 0;
}

QList<InterruptKind> interruptKinds() {
    return {{QStringLiteral("SIGINT"), false, true},
            {QStringLiteral("SIGTERM"), false, false},
            {QStringLiteral("SIGHUP"), false, true}};
}

namespace {

int signalOf(const QString& kind) {
    return kind == QLatin1String("SIGINT")    ? SIGINT
           : kind == QLatin1String("SIGTERM") ? SIGTERM
                                              : SIGHUP;
}

} // namespace

void startInterruptible(QProcess& process, const QString& program, const QStringList& arguments,
                        const QString& ignored) {
    if (!ignored.isEmpty()) {
        const int signal = signalOf(ignored);
        // An ignored signal stays ignored across exec, as nohup relies on.
        process.setChildProcessModifier([signal] { std::signal(signal, SIG_IGN); });
    }
    process.start(program, arguments);
}

void startAsFromAShell(QProcess& process, const QString& program, const QStringList& arguments,
                       ConsoleOutput output) {
    // Runs in the child, between fork and exec: async-signal-safe calls only.
    process.setChildProcessModifier([output] {
        for (const int signal : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP})
            std::signal(signal, SIG_DFL);
        if (output == ConsoleOutput::Closed) {
            ::close(STDOUT_FILENO);
        } else if (output == ConsoleOutput::PipeNobodyReads) {
            int ends[2];
            if (::pipe(ends) == 0) {
                ::dup2(ends[1], STDOUT_FILENO);
                ::close(ends[0]);
                ::close(ends[1]);
            }
        }
    });
    process.start(program, arguments);
}

QStringList withFailingCalls(const QString& path, const QString& calls, const QString& error) {
    QStringList command{QStringLiteral("strace"), QStringLiteral("-qq"), QStringLiteral("-o"),
                        QStringLiteral("/dev/null")};
    if (!path.isEmpty())
        command << QStringLiteral("-P") << path;
    command << QStringLiteral("-e") << QStringLiteral("trace=") + calls;
    for (const QString& call : calls.split(u','))
        command << QStringLiteral("-e") << QStringLiteral("inject=%1:error=%2").arg(call, error);
    return command << QStringLiteral("--");
}

QString interrupt(QProcess& process, const QString& kind) {
    if (::kill(pid_t(process.processId()), signalOf(kind)) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString();
}

QString accountName() {
    QProcess id;
    id.start(QStringLiteral("id"), {QStringLiteral("-un")});
    if (!id.waitForFinished() || id.exitCode() != 0)
        return QString::number(::geteuid()); // no name for this account
    return QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed();
}

// xdg-open found first on PATH: a script that notes its argument and where its standard streams
// lead, and moves the note into place whole.
StandInOpener::StandInOpener(const QString& folder, const QString& record, bool absent)
    : saved_(qgetenv("PATH")) {
    if (!absent) {
        QFile script(folder + QStringLiteral("/xdg-open"));
        const QByteArray note = native(record);
        if (!script.open(QIODevice::WriteOnly) ||
            script.write("#!/bin/sh\n"
                         "in=$(readlink /proc/$$/fd/0)\n"
                         "out=$(readlink /proc/$$/fd/1)\n"
                         "err=$(readlink /proc/$$/fd/2)\n"
                         "printf '%s\\n%s\\n%s\\n%s\\n' \"$1\" \"$in\" \"$out\" \"$err\" > '" +
                         note + ".part'\nmv '" + note + ".part' '" + note + "'\n") < 0 ||
            !script.setPermissions(script.permissions() | QFileDevice::ExeOwner)) {
            missing_ = QStringLiteral("cannot write a stand-in xdg-open: ") + script.errorString();
            return;
        }
    }
    // Alone on PATH when absent, so that no xdg-open of the machine's is found.
    qputenv("PATH", absent ? native(folder) : native(folder) + ':' + saved_);
}

StandInOpener::~StandInOpener() {
    qputenv("PATH", saved_);
}

FileSizeLimit::FileSizeLimit(qint64 bytes) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    savedSoft_ = saved.rlim_cur;
    savedHard_ = saved.rlim_max;
    // Past the limit the write fails with EFBIG instead of the signal ending the process.
    savedHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved;
    lowered.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &lowered);
}

FileSizeLimit::~FileSizeLimit() {
    const rlimit saved{rlim_t(savedSoft_), rlim_t(savedHard_)};
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler_);
}

HeldFile::HeldFile(const QString& path) {
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        handle_ = fd;
    else if (fd >= 0)
        ::close(fd);
}

DeepFolders::DeepFolders(const QString& root, const QString& name, int depth)
    : root_(root), name_(name), path_(root) {
    const QByteArray folder = native(name);
    int dir = ::open(native(root).constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    for (int level = 0; level < depth && dir >= 0; ++level) {
        ::mkdirat(dir, folder.constData(), 0755);
        const int inner = ::openat(dir, folder.constData(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        ::close(dir);
        dir = inner;
        path_ += u'/' + name;
    }
    if (dir >= 0) {
        handle_ = dir;
        reachable_ = QStringLiteral("/proc/self/fd/") + QString::number(dir);
    }
}

DeepFolders::~DeepFolders() {
    if (handle_ != -1)
        ::close(int(handle_));
    // Too deep for QDir's removal.
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), root_ + u'/' + name_});
}

// The store is a configuration folder, with one for the system's presets inside.
namespace parts {

std::vector<const char*> settingsVariables() {
    return {"XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"};
}

void openStore(IsolatedSettings::Store& store) {
    if (!store.owned)
        return;
    QTemporaryDir folder;
    if (!folder.isValid())
        qFatal("cannot make a temporary configuration folder");
    folder.setAutoRemove(false);
    store.name = folder.path();
}

void pointSettingsAt(const IsolatedSettings::Store& store) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(store.name));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(store.name + QStringLiteral("/system")));
}

void closeStore(IsolatedSettings::Store& store) {
    if (store.owned)
        QDir(store.name).removeRecursively();
}

} // namespace parts

QString IsolatedSettings::location() const {
    return store_->name;
}

struct IsolatedPresets::State {
    QTemporaryDir folder;
    parts::SavedVariable dirs{"XDG_CONFIG_DIRS"};
};

namespace {

QString presetFolder(const QTemporaryDir& folder, IsolatedPresets::Scope scope) {
    return folder.filePath(scope == IsolatedPresets::Scope::Computer ? QStringLiteral("computer")
                                                                     : QStringLiteral("user"));
}

} // namespace

bool userScopeIsTheComputers() {
    return true;
}

IsolatedPresets::IsolatedPresets() : state_(std::make_unique<State>()) {
    if (!parts::settingsAreIsolated() || !state_->folder.isValid())
        qFatal("presets need an IsolatedSettings and a temporary folder");
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(presetFolder(state_->folder, Scope::Computer) +
                                                 u':' + presetFolder(state_->folder, Scope::User)));
}

IsolatedPresets::~IsolatedPresets() {
    state_->dirs.restore();
}

bool IsolatedPresets::set(Scope scope, const QString& valueName, const QString& text) {
    QSettings file(QDir(presetFolder(state_->folder, scope)).filePath(StoreFile),
                   QSettings::IniFormat);
    file.setValue(SettingsKeyPath.section(u'\\', -1) + u'/' + valueName, text);
    file.sync();
    return file.status() == QSettings::NoError;
}

} // namespace tarsel::test

namespace tarsel::test {

void IsolatedSettings::forgetWhatWasRead() {
    QFile file(platform::settingsStorePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray content = file.readAll();
    file.close();
    writeByHand(file.fileName(), content);
}

QList<NativeCode> nativeCodesBesideRunTimeNumbers() {
    return {{"EAGAIN", EAGAIN, ErrorKind::System},       // 11: no division by zero
            {"ENODATA", ENODATA, ErrorKind::System},     // 61: no full disk
            {"ENOSR", ENOSR, ErrorKind::System},         // 63
            {"ECOMM", ECOMM, ErrorKind::System},         // 70: no permission denied
            {"EPROTO", EPROTO, ErrorKind::System},       // 71
            {"EBADMSG", EBADMSG, ErrorKind::System},     // 74
            {"EOVERFLOW", EOVERFLOW, ErrorKind::System}, // 75: no path/file access error
            {"ENOSPC", ENOSPC, ErrorKind::DiskFull},      {"EDQUOT", EDQUOT, ErrorKind::DiskFull},
            {"ENOTDIR", ENOTDIR, ErrorKind::PathNotFound}};
}

RunTimeError errorForNativeCode(qint64 code) {
    return platform::errnoError(int(code), QStringLiteral("file"));
}

} // namespace tarsel::test
