#include "support/TestHost.h"

#include "support/TestHostParts.h"

#include "core/RegistryKeys.h"
#include "platform/win32/Win32.h"

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUuid>

#include <memory>
#include <string>
#include <vector>

namespace tarsel::test {

using platform::win32::ShareAll;
using platform::win32::systemText;

namespace {

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// "Wine 8.0" or "Windows", for the reasons below.
QString systemName() {
    const QString wine = wineVersion();
    return wine.isEmpty() ? QStringLiteral("Windows") : QStringLiteral("Wine ") + wine;
}

using parts::ProbeFile;

HANDLE handleOf(const ProbeFile& probe) {
    return reinterpret_cast<HANDLE>(probe.handle());
}

QString whyNoLink(bool symbolic, const QString& folder) {
    const ProbeFile target(folder);
    if (!target.isOpen())
        return QStringLiteral("cannot create a file in ") + folder;
    const QString link = target.path() + QStringLiteral(".link");
    const bool made =
        symbolic ? makeSymbolicLink(target.path(), link) : makeHardLink(target.path(), link);
    const DWORD err = GetLastError();
    const DWORD attributes = GetFileAttributesW(native(link).c_str());
    DeleteFileW(native(link).c_str());
    const QString call =
        symbolic ? QStringLiteral("CreateSymbolicLinkW") : QStringLiteral("CreateHardLinkW");
    if (!made)
        return QStringLiteral("%1 failed on %2: %3%4")
            .arg(call, systemName(), systemText(err),
                 symbolic && err == ERROR_PRIVILEGE_NOT_HELD
                     ? QStringLiteral(" (symbolic links need the right to create them, or "
                                      "developer mode)")
                     : QString());
    const bool isLink = attributes != INVALID_FILE_ATTRIBUTES &&
                        (!symbolic || (attributes & FILE_ATTRIBUTE_REPARSE_POINT));
    if (!isLink)
        return QStringLiteral("%1 reports success on %2 but makes no link").arg(call, systemName());
    return QString();
}

QString whyNoCreationTime(const QString& folder) {
    const ProbeFile probe(folder);
    if (!probe.isOpen())
        return QStringLiteral("cannot create a file in ") + folder;
    const FILETIME created{0x12345600, 0x01c00000}; // in 1985
    FILETIME read{};
    if (!SetFileTime(handleOf(probe), &created, nullptr, nullptr) ||
        !GetFileTime(handleOf(probe), &read, nullptr, nullptr))
        return QStringLiteral("cannot set a creation time: ") + systemText(GetLastError());
    if (read.dwLowDateTime == created.dwLowDateTime &&
        read.dwHighDateTime == created.dwHighDateTime)
        return QString();
    if (!wineVersion().isEmpty())
        return QStringLiteral("Wine keeps no creation time on a Linux folder");
    return QStringLiteral("the file system of %1 keeps no creation time").arg(folder);
}

} // namespace

namespace parts {

QString reserveRoom(const ProbeFile& probe, const QString&) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = 1;
    if (SetFileInformationByHandle(handleOf(probe), FileAllocationInfo, &allocation,
                                   sizeof allocation))
        return QString();
    return QStringLiteral("%1 cannot reserve room for a file (FileAllocationInfo): %2")
        .arg(systemName(), systemText(GetLastError()));
}

qintptr createNewFile(const QString& path) {
    return reinterpret_cast<qintptr>(CreateFileW(native(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                                 ShareAll, nullptr, CREATE_NEW,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

void closeSystemHandle(qintptr handle) {
    CloseHandle(reinterpret_cast<HANDLE>(handle));
}

} // namespace parts

QString missing(Facility facility, const QString& folder) {
    switch (facility) {
    case Facility::Fifo:
        return QStringLiteral("Windows keeps no FIFOs in folders (its named pipes live under "
                              "\\\\.\\pipe\\)");
    case Facility::SymbolicLink:
        return whyNoLink(true, folder);
    case Facility::HardLink:
        return whyNoLink(false, folder);
    case Facility::FileSizeLimit:
        return QStringLiteral("Windows has no limit on the size of the files a process writes "
                              "(ulimit -f)");
    case Facility::ProcessTimeZone:
        return QStringLiteral("Windows has no time zone per process: the file-time functions "
                              "take the machine's, and TZ reaches only the C runtime");
    case Facility::DateFieldCheck:
        return wineVersion().isEmpty()
                   ? QString()
                   : QStringLiteral("Wine's SystemTimeToFileTime takes fields that form no date "
                                    "(29 February 2023, the year 30828)");
    case Facility::CreationTime:
        return whyNoCreationTime(folder);
    case Facility::ReserveRoom:
        return parts::whyNoReservation(folder);
    case Facility::CheapCopy:
        return QStringLiteral("the whole-file copy reads and writes every byte on Windows");
    case Facility::ScenarioDriver:
        return QStringLiteral("the scenario driver runs the window under strace, prlimit or "
                              "setpriv, in a mount namespace, or kills it: Linux only");
    case Facility::CommandName:
        return QStringLiteral("Windows names a process by its image file, not by a command name");
    case Facility::AskToClose:
        return QStringLiteral("the test's stand-in for Access has no window to post WM_CLOSE to "
                              "(Wine without a display makes none)");
    case Facility::HeldFileBlocksSwap:
        return QString();
    case Facility::FullDrive:
        return fullDriveRoot().isEmpty()
                   ? QStringLiteral("no small drive: make test-windows maps a 2 MiB tmpfs as drive "
                                    "T: (TARSEL_SMALL_DRIVE) when it may mount one")
                   : QString();
    case Facility::PathMaxLimit:
        return QStringLiteral("Windows has no 4,096-byte limit on paths: \\\\?\\ paths reach "
                              "32,767 characters");
    case Facility::ImmutableFile:
        return QStringLiteral("Windows has no immutable files (chattr +i)");
    case Facility::NameTooLongError:
        return wineVersion().isEmpty()
                   ? QString()
                   : QStringLiteral("Wine reports a name over 255 characters as a missing file "
                                    "(error 53)");
    case Facility::RemovingMovesOpenFile:
        return QStringLiteral("Windows keeps a file removed while a program holds it open as it "
                              "was until the last handle closes");
    case Facility::WriteHeldFile:
        return QStringLiteral("Windows lets nobody else write to the staging file while the run "
                              "holds it open sharing reading alone");
    case Facility::RenameHeldFile:
        return QStringLiteral("Windows refuses to rename the staging file while the run holds it "
                              "open without delete sharing");
    case Facility::LargeFileInMemory:
        return QStringLiteral("no folder in memory: Windows would write the 2 GiB release and "
                              "its copy to disk, too slow for a unit test");
    case Facility::StandInOpener:
        return QStringLiteral("Windows finds the program for a file in the registry's "
                              "associations, which a test may not change");
    case Facility::ChildSharesSettings:
        return QStringLiteral("a child process would read the user's own HKEY_CURRENT_USER: the "
                              "tests' redirection of it holds for the test process alone");
    case Facility::InterruptChild:
        return QStringLiteral("a test's console child shares no console with it to send Ctrl+C "
                              "to (QProcess::terminate posts WM_CLOSE, which a console program "
                              "never sees)");
    case Facility::SystemCallFaults:
        return QStringLiteral("Windows has no strace to make a program's system calls fail");
    case Facility::BrokenOutput:
        return QStringLiteral("Windows ends no program for writing to a closed or abandoned "
                              "standard output: the write fails, and there is nothing to show");
    case Facility::AtomicAppend:
        return wineVersion().isEmpty()
                   ? QString()
                   : QStringLiteral("Wine %1 mixes lines that several processes append at once "
                                    "with FILE_APPEND_DATA (also with the end-of-file offset)")
                         .arg(wineVersion());
    case Facility::AnyCharacterInNames:
        return QStringLiteral("Windows takes a backslash for a folder separator and refuses '*', "
                              "'?', line feeds and carriage returns in file names");
    case Facility::CaseBlindNames:
        return QString();
    }
    return QString();
}

bool catchesInterrupts(qint64) {
    return false;
}

bool makeFifo(const QString&) {
    return false;
}

bool makeSymbolicLink(const QString& target, const QString& link) {
    return CreateSymbolicLinkW(native(link).c_str(), native(target).c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
}

bool makeHardLink(const QString& existing, const QString& link) {
    return CreateHardLinkW(native(link).c_str(), native(existing).c_str(), nullptr);
}

QString setDosAttributes(const QString& path, quint32 attributes) {
    constexpr DWORD Ours = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD old = GetFileAttributesW(native(path).c_str());
    if (old == INVALID_FILE_ATTRIBUTES)
        return systemText(GetLastError());
    DWORD wanted = (old & ~Ours & ~DWORD(FILE_ATTRIBUTE_NORMAL)) | (attributes & Ours);
    if (wanted == 0)
        wanted = FILE_ATTRIBUTE_NORMAL;
    if (!SetFileAttributesW(native(path).c_str(), wanted))
        return systemText(GetLastError());
    return QString();
}

qsizetype openHandleCount() {
    DWORD count = 0;
    return GetProcessHandleCount(GetCurrentProcess(), &count) ? qsizetype(count) : -1;
}

qsizetype threadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return -1;
    qsizetype count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

qint64 allocatedBytes(qintptr handle) {
    FILE_STANDARD_INFO info{};
    if (!GetFileInformationByHandleEx(reinterpret_cast<HANDLE>(handle), FileStandardInfo, &info,
                                      sizeof info))
        return -1;
    return info.AllocationSize.QuadPart;
}

QByteArray metadataOf(const QString& path) {
    const HANDLE file = CreateFileW(native(path).c_str(), FILE_READ_ATTRIBUTES, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return QByteArray();
    FILE_BASIC_INFO info{};
    const bool read = GetFileInformationByHandleEx(file, FileBasicInfo, &info, sizeof info);
    CloseHandle(file);
    if (!read)
        return QByteArray();
    return QByteArray::number(info.ChangeTime.QuadPart) + ' ' +
           QByteArray::number(info.LastWriteTime.QuadPart) + ' ' +
           QByteArray::number(info.CreationTime.QuadPart) + ' ' +
           QByteArray::number(quint32(info.FileAttributes));
}

QByteArray creationRecordOf(const QString&) {
    return QByteArray();
}

int errorNumberFor(Mistake mistake) {
    switch (mistake) {
    case Mistake::MissingFolder:
        return 76; // ERROR_PATH_NOT_FOUND
    case Mistake::WildcardInName:
        return 75; // ERROR_INVALID_NAME
    case Mistake::NoOpener:
        return 1155; // ERROR_NO_ASSOCIATION
    }
    return 0;
}

// NTFS answers a name over 255 characters with STATUS_OBJECT_NAME_INVALID.
QString nameTooLongText() {
    return systemText(ERROR_INVALID_NAME);
}

QString deviceFile() {
    return QStringLiteral("\\\\.\\NUL");
}

IdleProgram idleProgram() {
    return {QCoreApplication::applicationDirPath() + QStringLiteral("/tarsel_holder.exe"), {}};
}

namespace {

bool startHolding(QProcess& process, const QString& program, const QString& path, int ms) {
    process.start(program, {QDir::toNativeSeparators(path), QString::number(ms)});
    return process.waitForStarted() && process.waitForReadyRead(10000) &&
           process.readAllStandardOutput().startsWith("held");
}

} // namespace

bool startHolder(QProcess& process, const QString& path, int ms) {
    return startHolding(process, idleProgram().path, path, ms);
}

// The holder program is the idle program: its copy holds the file itself, and has no window to
// be asked to close.
bool startIdleHolding(QProcess& process, const QString& program, const QString& path, bool) {
    return startHolding(process, program, path, -1);
}

QList<QPair<QString, QString>> otherSpellings(const QString& path) {
    const QString native = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    QList<QPair<QString, QString>> spellings{
        {QStringLiteral("in other case"), native.toUpper()},
        {QStringLiteral("forward slashes"), QDir::fromNativeSeparators(native)},
        {QStringLiteral("through \\\\?\\"), QStringLiteral("\\\\?\\") + native}};
    std::wstring shortName(MAX_PATH, L'\0');
    const DWORD length =
        GetShortPathNameW(native.toStdWString().c_str(), shortName.data(), DWORD(shortName.size()));
    if (length > 0 && length < shortName.size())
        spellings.append({QStringLiteral("short name"),
                          QString::fromWCharArray(shortName.c_str(), int(length))});
    return spellings;
}

QString fullDriveRoot() {
    const QString drive = qEnvironmentVariable("TARSEL_SMALL_DRIVE");
    return drive.isEmpty() ? QString() : drive + u'\\';
}

QString memoryFolder() {
    return QString();
}

bool heldThroughOneHandle(const QString& path) {
    const HANDLE other = CreateFileW(platform::win32::widePath(path).c_str(), GENERIC_WRITE,
                                     ShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(other);
    return false;
}

QString wineVersion() {
    using Version = const char*(__cdecl*)();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto version = ntdll ? reinterpret_cast<Version>(reinterpret_cast<void*>(
                                     GetProcAddress(ntdll, "wine_get_version")))
                               : nullptr;
    return version ? QString::fromLatin1(version()) : QString();
}

bool runsAsRoot() {
    return false;
}

bool changeOwner(const QString&, uint, uint) {
    return false;
}

UnprivilegedOwnerChanges::UnprivilegedOwnerChanges()
    : missing_(QStringLiteral("Windows grants by the accounts in a file's DACL, never by its "
                              "group")) {}

UnprivilegedOwnerChanges::~UnprivilegedOwnerChanges() = default;

namespace {

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

// This process's user as text ("S-1-5-21-..."), empty when it cannot be read.
QString currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return QString();
    std::vector<char> buffer(512);
    DWORD size = 0;
    const bool read =
        GetTokenInformation(token, TokenUser, buffer.data(), DWORD(buffer.size()), &size);
    CloseHandle(token);
    wchar_t* text = nullptr;
    if (!read ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return QString();
    const std::unique_ptr<wchar_t, LocalFreer> held(text);
    return QString::fromWCharArray(text);
}

} // namespace

QString giveUncommonRights(const QString& path, uint) {
    const QString user = currentUserSid();
    const std::wstring sddl =
        QStringLiteral("D:P(A;;FA;;;%1)(A;;FR;;;BU)").arg(user).toStdWString();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (user.isEmpty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                              sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return QStringLiteral("cannot build a DACL: ") + systemText(GetLastError());
    const std::unique_ptr<void, LocalFreer> held(descriptor);
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD set =
        SetNamedSecurityInfoW(native(path).data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr);
    if (set != ERROR_SUCCESS)
        return QStringLiteral("cannot set a DACL on %1: %2").arg(path, systemText(set));
    // Wine 8 takes any DACL without an error, maps it onto the Unix mode and answers with one
    // made from the mode: SYSTEM and the owner full control, Everyone read.
    if (!accessRightsOf(path).contains(QLatin1String(";;;BU)")))
        return systemName() + QStringLiteral(" keeps no DACL of a file's own: it makes one from "
                                             "the Unix mode");
    return QString();
}

QString othersMayOpen(const QString& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    if (const DWORD read =
            GetNamedSecurityInfoW(native(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, &dacl, nullptr, &descriptor);
        read != ERROR_SUCCESS)
        return QStringLiteral("cannot read its DACL: ") + systemText(read);
    const std::unique_ptr<void, LocalFreer> held(descriptor);
    if (!dacl)
        return QStringLiteral("no DACL at all: everyone may");
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    std::vector<char> user(256);
    DWORD size = 0;
    const bool known =
        GetTokenInformation(token, TokenUser, user.data(), DWORD(user.size()), &size);
    CloseHandle(token);
    if (!known)
        return QStringLiteral("cannot tell who runs the tests");
    const PSID self = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = nullptr;
    AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
    QString others;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)))
            continue;
        if (ace->AceFlags & INHERITED_ACE)
            others += QStringLiteral("an inherited entry; ");
        if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        const PSID who = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
        if (EqualSid(who, self) || EqualSid(who, system))
            continue;
        wchar_t* text = nullptr;
        ConvertSidToStringSidW(who, &text);
        others +=
            QStringLiteral("an entry for ") + QString::fromWCharArray(text) + QStringLiteral("; ");
        LocalFree(text);
    }
    FreeSid(system);
    return others;
}

QString accessRightsOf(const QString& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    constexpr SECURITY_INFORMATION which = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (GetNamedSecurityInfoW(native(path).c_str(), SE_FILE_OBJECT, which, nullptr, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return QString();
    const std::unique_ptr<void, LocalFreer> held(descriptor);
    wchar_t* text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, which,
                                                              &text, nullptr))
        return QString();
    const std::unique_ptr<wchar_t, LocalFreer> heldText(text);
    return QString::fromWCharArray(text);
}

PrivateNewFiles::PrivateNewFiles() = default;

PrivateNewFiles::~PrivateNewFiles() = default;

bool killNow(qint64 pid) {
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid));
    if (!process)
        return false;
    const bool ended = TerminateProcess(process, 1);
    CloseHandle(process);
    return ended;
}

QList<InterruptKind> interruptKinds() {
    return {{QStringLiteral("Ctrl+Break"), false}, {QStringLiteral("end of the session"), true}};
}

void startAsFromAShell(QProcess& process, const QString& program, const QStringList& arguments,
                       ConsoleOutput) {
    process.start(program, arguments);
}

QStringList withFailingCalls(const QString&, const QString&, const QString&) {
    return {};
}

// Nothing is ignorable here: `ignored` is never given.
void startInterruptible(QProcess& process, const QString& program, const QStringList& arguments,
                        const QString&) {
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments* args) { args->flags |= CREATE_NEW_PROCESS_GROUP; });
    process.start(program, arguments);
}

namespace {

// The top-level windows of a process, hidden ones too: where the system tells it of the session's
// end.
std::vector<HWND> topLevelWindowsOf(DWORD pid) {
    struct Search {
        DWORD pid;
        std::vector<HWND> found;
    } search{pid, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* search = reinterpret_cast<Search*>(context);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == search->pid)
                search->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Whether this process can make a window, as Wine cannot without a display.
bool canMakeWindows() {
    const HWND window = CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window)
        DestroyWindow(window);
    return window != nullptr;
}

// Tells every top-level window of the process that the session ends, as Windows does at logoff:
// the question, then the end, each answered before the next.
QString endSession(DWORD pid) {
    // The program makes its window on a thread of its own, maybe after it said it was ready.
    std::vector<HWND> windows;
    for (QDeadlineTimer deadline(10000); windows.empty() && !deadline.hasExpired();
         QThread::msleep(20))
        windows = topLevelWindowsOf(pid);
    // On Windows a missing window is the program's fault, and the test fails.
    if (windows.empty() && !wineVersion().isEmpty())
        return canMakeWindows()
                   ? QStringLiteral("Wine %1 without a display: the process made no window "
                                    "within 10 s")
                         .arg(wineVersion())
                   : QStringLiteral("Wine %1 makes no windows without a display (CreateWindowEx "
                                    "fails), so nothing hears of the session's end")
                         .arg(wineVersion());
    for (const UINT message : {WM_QUERYENDSESSION, WM_ENDSESSION})
        for (const HWND window : windows)
            SendMessageTimeoutW(window, message, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                                nullptr);
    return QString();
}

} // namespace

QString interrupt(QProcess& process, const QString& kind) {
    const DWORD pid = DWORD(process.processId());
    if (kind == QLatin1String("end of the session"))
        return endSession(pid);
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, pid))
        return QStringLiteral("%1: Ctrl+Break cannot be sent: %2")
            .arg(systemName(), systemText(GetLastError()));
    return QString();
}

QString accountName() {
    return qEnvironmentVariable("USERNAME");
}

namespace {

// The stand-in opener is an association made and removed by the tests.
const std::wstring ExtensionKey =
    L"Software\\Classes\\" + StandInOpener::standInExtension().toStdWString();
const std::wstring StandInKey = L"Software\\Classes\\TarselTests.StandInOpener";

// This user's classes; Wine reads the machine's alone, where its tests may write.
HKEY classesRoot() {
    return wineVersion().isEmpty() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

bool setDefaultValue(const std::wstring& key, const std::wstring& value) {
    return RegSetKeyValueW(classesRoot(), key.c_str(), nullptr, REG_SZ, value.c_str(),
                           DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

// cmd.exe echoes the path the shell gives it into the record.
StandInOpener::StandInOpener(const QString&, const QString& record, bool absent) {
    if (absent) {
        // No program is associated with the extension.
        if (!wineVersion().isEmpty())
            missing_ = QStringLiteral("Wine %1 answers a file that no program opens with error 193 "
                                      "(not a program), where Windows says 1155 (no association)")
                           .arg(wineVersion());
        return;
    }
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(system, length) +
                                 L"\\cmd.exe\" /c echo %1>\"" + native(record) + L"\"";
    if (!setDefaultValue(ExtensionKey, L"TarselTests.StandInOpener") ||
        !setDefaultValue(StandInKey + L"\\shell\\open\\command", command))
        missing_ = QStringLiteral("cannot register a stand-in opener for this user");
}

StandInOpener::~StandInOpener() {
    RegDeleteTreeW(classesRoot(), ExtensionKey.c_str());
    RegDeleteTreeW(classesRoot(), StandInKey.c_str());
}

// Never constructed: missing(Facility::FileSizeLimit) says why.
FileSizeLimit::FileSizeLimit(qint64) {}
FileSizeLimit::~FileSizeLimit() {}

HeldFile::HeldFile(const QString& path) {
    const HANDLE file =
        CreateFileW(native(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        handle_ = reinterpret_cast<qintptr>(file);
}

// Through "\\?\", which lifts the MAX_PATH limit, so the whole path always reaches the
// folder.
DeepFolders::DeepFolders(const QString& root, const QString& name, int depth)
    : root_(root), name_(name), path_(root) {
    const QString prefix = QStringLiteral("\\\\?\\");
    bool made = true;
    for (int level = 0; level < depth && made; ++level) {
        path_ += u'/' + name;
        made = CreateDirectoryW(native(prefix + QDir::cleanPath(path_)).c_str(), nullptr) ||
               GetLastError() == ERROR_ALREADY_EXISTS;
    }
    if (made)
        reachable_ = path_;
}

DeepFolders::~DeepFolders() {
    const QString prefix = QStringLiteral("\\\\?\\");
    for (QString folder = path_; folder.size() > root_.size(); folder.chop(name_.size() + 1)) {
        const QDir inside(folder);
        for (const QString& file : inside.entryList(QDir::Files | QDir::Hidden | QDir::System))
            DeleteFileW(native(prefix + QDir::cleanPath(inside.filePath(file))).c_str());
        RemoveDirectoryW(native(prefix + QDir::cleanPath(folder)).c_str());
    }
}

// The store is a key below the real HKEY_CURRENT_USER, to which HKEY_CURRENT_USER is redirected.
namespace {

const QString TestsKey = QStringLiteral("Software\\TarselTests");

HKEY keyOf(const IsolatedSettings::Store& store) {
    return reinterpret_cast<HKEY>(store.handle);
}

} // namespace

namespace parts {

std::vector<const char*> settingsVariables() {
    return {};
}

void openStore(IsolatedSettings::Store& store) {
    if (store.owned)
        store.name = TestsKey + u'\\' + QUuid::createUuid().toString(QUuid::WithoutBraces);
    // Made under the real HKEY_CURRENT_USER, not under the store of a test before.
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, store.name.toStdWString().c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, key) != ERROR_SUCCESS)
        qFatal("cannot redirect HKEY_CURRENT_USER to a key of the test's own");
    store.handle = reinterpret_cast<qintptr>(key);
}

void pointSettingsAt(const IsolatedSettings::Store& store) {
    RegOverridePredefKey(HKEY_CURRENT_USER, keyOf(store));
}

void closeStore(IsolatedSettings::Store& store) {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (store.handle)
        RegCloseKey(keyOf(store));
    if (store.owned) {
        RegDeleteTreeW(HKEY_CURRENT_USER, store.name.toStdWString().c_str());
        // Only once no other test's store is left under it.
        RegDeleteKeyW(HKEY_CURRENT_USER, TestsKey.toStdWString().c_str());
    }
}

} // namespace parts

void IsolatedSettings::forgetWhatWasRead() {}

QString IsolatedSettings::location() const {
    return QStringLiteral("HKEY_CURRENT_USER\\") + store_->name;
}

namespace {

// Inside the store, beside the user's own keys.
const std::wstring MachineKey = L"TarselTestsMachine";

} // namespace

struct IsolatedPresets::State {
    HKEY machine = nullptr;
};

bool userScopeIsTheComputers() {
    return false;
}

IsolatedPresets::IsolatedPresets() : state_(std::make_unique<State>()) {
    // Without a store HKEY_CURRENT_USER would be the user's own.
    if (!parts::settingsAreIsolated() ||
        RegCreateKeyExW(HKEY_CURRENT_USER, MachineKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &state_->machine, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, state_->machine) != ERROR_SUCCESS)
        qFatal("cannot redirect HKEY_LOCAL_MACHINE to a key of the test's own");
}

IsolatedPresets::~IsolatedPresets() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(state_->machine);
    RegDeleteTreeW(HKEY_CURRENT_USER, MachineKey.c_str());
}

bool IsolatedPresets::set(Scope scope, const QString& valueName, const QString& text) {
    const std::wstring data = text.toStdWString();
    return RegSetKeyValueW(scope == Scope::Computer ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER,
                           PolicyKeyPath.toStdWString().c_str(), valueName.toStdWString().c_str(),
                           REG_EXPAND_SZ, data.c_str(),
                           DWORD((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

QList<NativeCode> nativeCodesBesideRunTimeNumbers() {
    return {{"ERROR_INVALID_HANDLE", ERROR_INVALID_HANDLE, ErrorKind::System}, // 6
            {"ERROR_BAD_FORMAT", ERROR_BAD_FORMAT, ErrorKind::System},         // 11
            {"ERROR_INVALID_DATA", ERROR_INVALID_DATA, ErrorKind::System},     // 13
            {"ERROR_NO_MORE_FILES", ERROR_NO_MORE_FILES, ErrorKind::System},   // 18: no cancel
            {"ERROR_ADAP_HDW_ERR", ERROR_ADAP_HDW_ERR, ErrorKind::System},     // 57
            {"ERROR_PRINTQ_FULL", ERROR_PRINTQ_FULL, ErrorKind::System},       // 61: no full disk
            {"ERROR_SHARING_PAUSED", ERROR_SHARING_PAUSED, ErrorKind::System}, // 70
            {"ERROR_DISK_FULL", ERROR_DISK_FULL, ErrorKind::DiskFull},
            {"ERROR_HANDLE_DISK_FULL", ERROR_HANDLE_DISK_FULL, ErrorKind::DiskFull},
            {"ERROR_BAD_NETPATH", ERROR_BAD_NETPATH, ErrorKind::PathNotFound}};
}

RunTimeError errorForNativeCode(qint64 code) {
    return platform::win32::errorFrom(DWORD(code), QStringLiteral("file"));
}

} // namespace tarsel::test
