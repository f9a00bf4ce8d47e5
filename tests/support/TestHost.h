#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "core/RunTimeError.h"

#include <memory>

// What the tests do differently on each system; tests/platform/<os>/support/TestHost.cpp holds the
// system's own way, tests/support/TestHost.cpp what the systems do alike.
namespace tarsel::test {

// What a test may need that not every system (or Wine, standing in for Windows) offers.
enum class Facility {
    Fifo,            // a FIFO in a folder
    SymbolicLink,    // a symbolic link to a file, in the given folder
    HardLink,        // a second name for a file, in the given folder
    FileSizeLimit,   // a limit on the size of the files this process writes (ulimit -f)
    ProcessTimeZone, // a time zone of this process's own (TZ), for local time and file times alike
    DateFieldCheck,  // the system's refusal of date fields that form no date (SystemTimeToFileTime)
    CreationTime,    // a creation time that a file in the given folder keeps once it is set
    ReserveRoom,     // room set aside for a file's length before it is written, in the given folder
    CheapCopy,       // a whole-file copy that shares the blocks instead of writing them again
    ScenarioDriver,  // the window in a process of its own under strace, prlimit, setpriv, a mount
                     // namespace, or killed outright
    CommandName,     // a process that runs under a command name other than its file's (exec -a)
    AskToClose,      // an idle program that can be asked to close, and one deaf to it (SIGTERM
                     // ignored)
    HeldFileBlocksSwap,    // a file that another program holds open cannot be replaced meanwhile
    FullDrive,             // a small, full drive at fullDriveRoot() for the whole window
    PathMaxLimit,          // a limit on a whole path (Linux's 4,096 bytes) that a target can pass
    ImmutableFile,         // a file that nobody may replace or change (chattr +i)
    RenameHeldFile,        // renaming the staging file while the run holds it open
    WriteHeldFile,         // writing into the staging file while the run holds it open
    RemovingMovesOpenFile, // removing a file that a program holds open changes it for that
                           // program (Linux: its change time moves at once)
    NameTooLongError,      // the system's own error for a name too long for the file system
    LargeFileInMemory,     // a folder in memory (memoryFolder()) with room for a 2 GiB release and
                           // its copy
    StandInOpener,         // a program of the test's own taken for the desktop's opener (an
                           // xdg-open early in PATH)
    InterruptChild,        // interrupting a console child as Ctrl+C or SIGTERM would
                           // (QProcess::terminate), and seeing when it is ready for it
    ChildSharesSettings,   // a child process reads this test's IsolatedSettings, not the user's
    AtomicAppend,          // lines that several processes append to one file at once each land
                           // whole at its end
    SystemCallFaults,      // a child's system calls failed on purpose (strace -e inject=)
    BrokenOutput,          // a child started with its standard output closed, or a pipe that
                           // nobody reads (ConsoleOutput)
    AnyCharacterInNames,   // file names that hold any character but '/' and NUL: a backslash, a
                           // line feed, a carriage return, '*' or '?'
    CaseBlindNames,        // file names that differ only in case name the same file
};

// Why `facility` is missing here (in `folder`, where the file system decides); empty when it is
// there. A test that needs it skips with this text.
QString missing(Facility facility, const QString& folder = QString());

// A program that idles until it is ended, to be started from copies under the names the sweep
// looks for: sleep(1) on Linux, the tests' own holder program on Windows.
struct IdleProgram {
    QString path;
    QStringList arguments; // what makes it idle
};
IdleProgram idleProgram();

// Starts `program`, a copy of the idle program, so that it holds `path` open as startHolder's
// program does (on Linux through a descriptor that it inherits from the shell starting it) and
// idles; a `deaf` one ignores being asked to close (only where missing(Facility::AskToClose) is
// empty). True once it holds the file under the copy's own name.
bool startIdleHolding(QProcess& process, const QString& program, const QString& path, bool deaf);

// Starts another program that holds `path` open as a program using it would (on Windows sharing
// reading and writing, not deleting) and lets go after `ms` milliseconds (never, for -1). True
// once it holds the file. Only where missing(Facility::HeldFileBlocksSwap) is empty.
bool startHolder(QProcess& process, const QString& path, int ms);

// Other spellings of the path of an existing file, each with a label: what the system takes for
// the same file although the texts differ.
QList<QPair<QString, QString>> otherSpellings(const QString& path);

// The root of the small drive that missing(Facility::FullDrive) speaks of.
QString fullDriveRoot();

// The folder that missing(Facility::LargeFileInMemory) speaks of.
QString memoryFolder();

// True when nothing but the run's own handle can change the file at `path`, which this process
// holds: on Linux this process holds it through one open file description (duplicated descriptors
// share one), so a share that enforces locks per handle sees a single open; on Windows no other
// open for writing is let in.
bool heldThroughOneHandle(const QString& path);

// True once the process `pid` handles SIGTERM itself, where missing(Facility::InterruptChild) is
// empty.
bool catchesInterrupts(qint64 pid);

// Makes a FIFO at `path`; false where the system has none.
bool makeFifo(const QString& path);

// A symbolic link at `link` to the file `target`, and a second name `link` for `existing`.
bool makeSymbolicLink(const QString& target, const QString& link);
bool makeHardLink(const QString& existing, const QString& link);

// Gives an existing entry the attribute bits of platform::Attr (ReadOnly, Hidden, System) as the
// system's own tools would, and takes away the others of the three: on Linux read-only is the
// owner's missing write permission, hidden a name that begins with a dot, and there is no system
// bit. Returns why it cannot, empty when done.
QString setDosAttributes(const QString& path, quint32 attributes);

// Open descriptors or handles of this process, to show that a failure path closed what it opened.
qsizetype openHandleCount();

// Threads of this process, to show that a way out stopped the threads it started.
qsizetype threadCount();

// The bytes that the file system has set aside for an open file (the system's own handle).
qint64 allocatedBytes(qintptr handle);

// Everything besides the bytes that writing to a file, its times, mode or attributes would change:
// on Linux the change time, mode and extended attributes, on Windows the attributes and the three
// times besides the last access. Empty when the file cannot be read.
QByteArray metadataOf(const QString& path);

// The bytes in which the system keeps a file's creation time outside the file system's own
// records: Samba's user.DOSATTRIB on Linux; always empty on Windows, which has a creation time.
QByteArray creationRecordOf(const QString& path);

// Mistakes for which the systems report different run-time error numbers.
enum class Mistake {
    MissingFolder,  // a path whose folder is missing: Linux does not tell it from a missing file
                    // (53), Windows does (76)
    WildcardInName, // a wildcard where one name must be: Linux finds no such file (53), Windows
                    // calls the name invalid (75)
    NoOpener, // a file that no program is set to open: Linux finds no xdg-open (53), Windows no
              // program associated with the file (1155)
};
int errorNumberFor(Mistake mistake);

// The system's own text for a name too long for the file system (ENAMETOOLONG; on Windows NTFS
// calls such a name invalid).
QString nameTooLongText();

// A device that reads without end, or at least is no file: /dev/zero; NUL on Windows.
QString deviceFile();

// Wine's version when this runs under Wine; empty on Linux and on Windows itself.
QString wineVersion();

// Whether this process runs as the superuser (root); never on Windows.
bool runsAsRoot();

// Gives a file, folder or link (not what a link points to) to the user and group `id`, or to the
// user `user` and the group `group`.
bool changeOwner(const QString& path, uint id);
bool changeOwner(const QString& path, uint user, uint group);

// Until destroyed, this thread gives files away as a user without privileges does: to no other
// owner, and only to a group it is a member of (on Linux CAP_CHOWN leaves its effective
// capabilities, a right that a process other than root's lacks anyway). Windows has no group of a
// file for a new version to keep: missing() says so there.
class UnprivilegedOwnerChanges {
public:
    UnprivilegedOwnerChanges();
    ~UnprivilegedOwnerChanges();
    UnprivilegedOwnerChanges(const UnprivilegedOwnerChanges&) = delete;
    UnprivilegedOwnerChanges& operator=(const UnprivilegedOwnerChanges&) = delete;

    // Why this thread cannot be made so; empty when it is.
    const QString& missing() const { return missing_; }

private:
    QString missing_;
    bool dropped_ = false;
};

// Gives an existing file access rights that a new file in its folder lacks: on Linux mode 664,
// the owner and group `id` and an ACL entry that lets user `id` + 1 read; on Windows a protected
// DACL that gives its owner full control and the group Users read. Returns why it cannot, empty
// when done.
QString giveUncommonRights(const QString& path, uint id);

// A file's access rights as text, to compare: mode, owner, group and ACL on Linux; owner and DACL
// with its protection on Windows. Empty when they cannot be read.
QString accessRightsOf(const QString& path);

// Who besides the file's owner its rights let in: group or other permission bits, or an ACL, on
// Linux; on Windows an entry of its DACL for anyone but the account that runs the tests and the
// system itself, or entries it inherits. Empty when its owner alone may open it.
QString othersMayOpen(const QString& path);

// Until destroyed, the files this process creates are open to their owner alone (umask 077); on
// Windows, where a new file takes its rights from its folder, nothing changes.
class PrivateNewFiles {
public:
    PrivateNewFiles();
    ~PrivateNewFiles();
    PrivateNewFiles(const PrivateNewFiles&) = delete;
    PrivateNewFiles& operator=(const PrivateNewFiles&) = delete;

private:
    uint saved_ = 0;
};

// Ends a process at once, without letting it clean up (SIGKILL, TerminateProcess).
bool killNow(qint64 pid);

// What another program, the user or the system can do here to interrupt a console program: SIGINT,
// SIGTERM and SIGHUP on Linux; Ctrl+Break and the end of the session on Windows. Where the system
// ends the program once it has told it, the telling waits for the program's clean-up
// (waitsForCleanUp).
struct InterruptKind {
    QString label;
    bool waitsForCleanUp = false;
    // Whoever starts the program can leave it ignored (nohup's SIGHUP, a script's `&` SIGINT), and
    // the program must then keep ignoring it.
    bool ignorable = false;
};
QList<InterruptKind> interruptKinds();

// Where a console program's standard output leads, as whoever started it left it.
enum class ConsoleOutput {
    Read,            // a pipe that `process` reads
    Closed,          // no standard output at all (a script's `>&-`)
    PipeNobodyReads, // a pipe whose reader is gone (`| head -0` once head has ended)
};

// Starts `program` as a shell or a service manager would: every signal at its default, whatever
// this test process ignores (a child inherits an ignored signal, which would hide what the program
// does about SIGXFSZ and SIGPIPE), and its standard output as `output` says; only where
// missing(Facility::BrokenOutput) is empty for anything but ConsoleOutput::Read.
void startAsFromAShell(QProcess& process, const QString& program, const QStringList& arguments,
                       ConsoleOutput output = ConsoleOutput::Read);

// The command that runs `program` with `arguments` while every call of `calls` (strace's syscall
// names, comma-separated) that names `path` (every call, for an empty `path`) fails with `error`
// ("EIO"), as the first words of a command line; only where missing(Facility::SystemCallFaults) is
// empty.
QStringList withFailingCalls(const QString& path, const QString& calls, const QString& error);

// Starts a program that interrupt() can reach alone (on Windows in a console process group of its
// own, so that Ctrl+Break reaches no other); with the interrupt labelled `ignored`, an ignorable
// one, ignored from its start.
void startInterruptible(QProcess& process, const QString& program, const QStringList& arguments,
                        const QString& ignored = QString());

// Interrupts the running `process` in the way labelled `kind`; returns once the program has been
// told. Returns why it cannot, empty when done.
QString interrupt(QProcess& process, const QString& kind);

// The name of the account that runs this process, as the system's own tools tell it.
QString accountName();

// Until destroyed, the program that the system opens files with is a stand-in: it writes to
// `record` the path it was given on the first line, then, where the system can tell, where its
// standard input, output and error lead, one a line. Only files whose names end in
// standInExtension() are given to it (on Linux any file is). Made `absent`, the system has no
// program at all to open such a file with. Lives in `folder`.
class StandInOpener {
public:
    StandInOpener(const QString& folder, const QString& record, bool absent = false);
    ~StandInOpener();
    StandInOpener(const StandInOpener&) = delete;
    StandInOpener& operator=(const StandInOpener&) = delete;

    static QString standInExtension();
    // Why the stand-in cannot be put in place here; empty when it is.
    const QString& missing() const { return missing_; }

private:
    QString missing_;
    QByteArray saved_;
};

// Limits the size of the files this process writes to `bytes`, so that a write past it fails with
// an error (a full-disk stand-in that works for root too); restored on destruction. Only where
// missing(Facility::FileSizeLimit) is empty.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    quint64 savedSoft_ = 0;
    quint64 savedHard_ = 0;
    void (*savedHandler_)(int) = nullptr;
};

// Holds a file as a running copy holds its staging file (an exclusive lock on Linux, open without
// delete sharing on Windows), until destroyed.
class HeldFile {
public:
    explicit HeldFile(const QString& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    bool isHeld() const { return handle_ != -1; }

private:
    qintptr handle_ = -1;
};

// A chain of `depth` folders named `name` below `root`, each made from the one before, so that the
// whole path may pass what the system can resolve; removed on destruction.
class DeepFolders {
public:
    DeepFolders(const QString& root, const QString& name, int depth);
    ~DeepFolders();
    DeepFolders(const DeepFolders&) = delete;
    DeepFolders& operator=(const DeepFolders&) = delete;

    // The whole path of the deepest folder.
    const QString& path() const { return path_; }
    // A path that reaches the deepest folder while this object lives, however long the whole path
    // is (/proc/self/fd/N on Linux); empty when the chain could not be made.
    const QString& reachable() const { return reachable_; }

private:
    QString root_, name_, path_, reachable_;
    qintptr handle_ = -1;
};

// A settings store of this test process's own, away from the user's and from other tests': on
// Linux a configuration folder in a temporary folder (XDG_CONFIG_HOME, and XDG_CONFIG_DIRS without
// the machine's presets); on Windows HKEY_CURRENT_USER redirected to a fresh key under
// HKEY_CURRENT_USER\Software\TarselTests. Removed on destruction. Child processes that this process
// starts meanwhile share it: one that creates its own IsolatedSettings takes over the parent's
// store instead of making a new one, and leaves it in place. A store that cannot be set up ends
// the test at once, before anything could reach the user's own settings.
class IsolatedSettings {
public:
    IsolatedSettings();
    ~IsolatedSettings();
    IsolatedSettings(const IsolatedSettings&) = delete;
    IsolatedSettings& operator=(const IsolatedSettings&) = delete;

    // Where the store is: the configuration folder, or the registry key that stands in for
    // HKEY_CURRENT_USER ("HKEY_CURRENT_USER\Software\TarselTests\...").
    QString location() const;

    // Makes the next read come from the store itself, not from what this process remembers of it:
    // on Linux the file is written back with a time stamp of its own, which makes QSettings parse
    // it afresh; the registry is read afresh anyway.
    void forgetWhatWasRead();

    struct Store;

private:
    std::unique_ptr<Store> store_;
};

// An administrator's presets for the window's values, for this process alone while this lives;
// made while an IsolatedSettings lives. On Windows Group Policy's keys: the user's policy inside
// the redirected HKEY_CURRENT_USER, the computer's in a key of that store too, to which
// HKEY_LOCAL_MACHINE is redirected, so a test needs no rights over the machine and never sees its
// policies. On Linux, which presets for every user alike, the files in two system configuration
// folders of the test's own (XDG_CONFIG_DIRS): the computer's first, the user's second.
// Whether IsolatedPresets' user scope is the computer's own too: on Linux a second preset folder
// of the system's, which only an administrator writes; on Windows the user's policy key, which a
// user may be allowed to change.
bool userScopeIsTheComputers();

class IsolatedPresets {
public:
    enum class Scope { Computer, User };

    IsolatedPresets();
    ~IsolatedPresets();
    IsolatedPresets(const IsolatedPresets&) = delete;
    IsolatedPresets& operator=(const IsolatedPresets&) = delete;

    // Presets the value as the administrator's tools write it: on Windows REG_EXPAND_SZ under
    // PolicyKeyPath, as the Group Policy editor writes the templates' text boxes.
    bool set(Scope scope, const QString& valueName, const QString& text);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Native error codes of this system whose values are also run-time numbers of other kinds, each
// with the error the platform makes of it: they must keep a kind of their own.
struct NativeCode {
    const char* name; // the system's name for the code, e.g. "ENODATA"
    qint64 code;
    ErrorKind kind; // the kind it must be
};
QList<NativeCode> nativeCodesBesideRunTimeNumbers();
RunTimeError errorForNativeCode(qint64 code);

} // namespace tarsel::test
