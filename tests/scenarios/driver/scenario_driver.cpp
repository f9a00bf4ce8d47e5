// One press of the Copy button in the real window, offscreen, in a process of its own: the paths
// come from the settings store, every message box is answered OK and printed, no process is ever
// ended. Usage:
//
//   tarsel_scenario_driver [--tmpfs BYTES] [--hold] SOURCE TARGET
//
// --tmpfs puts the target's folder, with the files it holds, on a tmpfs of that size in a mount
// namespace of this process alone (a user namespace too when not root). --hold keeps the old
// target open throughout, as a desk still reading it would. Printed on stdout, a line each: "pid N"
// at the start; "box TEXT" for every message box (CR and LF as \r and \n); after the run "label2
// TEXT", "ended yes|no", "answers yes|no" (the window still handles events and its timer runs),
// "target MD5|missing", "checksum TEXT|missing" (the first line of TARGET.sha256) and "staging N"
// (staging files left beside the target). Exit status 77 with "skip REASON" when --tmpfs cannot
// be set up.

#include "app/frmCopyRoutine.h"
#include "platform/FileSizeLimit.h"
#include "scenarios/WindowAnswers.h"
#include "settings/Module1.h"
#include "support/FakeDialogs.h"
#include "support/FakeProcessTable.h"
#include "support/ReleaseFixture.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace tarsel;

namespace {

constexpr int SkipStatus = 77;

void say(const QString& key, const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), "\\n");
    std::printf("%s %s\n", qPrintable(key), line.toUtf8().constData());
    std::fflush(stdout);
}

class PrintingDialogs : public test::FakeDialogs {
public:
    int msgBox(const QString& prompt, int style, const QString& title) override {
        say(QStringLiteral("box"), prompt);
        return FakeDialogs::msgBox(prompt, style, title);
    }
};

QString folderOf(const QString& path) {
    return path.left(path.lastIndexOf(QLatin1Char('/')));
}

bool writeText(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && ::write(fd, text.constData(), size_t(text.size())) == text.size();
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// A mount namespace of our own; without root, inside a user namespace where we are root.
QString enterMountNamespace() {
    if (::geteuid() == 0)
        return ::unshare(CLONE_NEWNS) == 0 ? QString() : QString::fromLocal8Bit(strerror(errno));
    const QByteArray uid = QByteArray::number(::geteuid()), gid = QByteArray::number(::getegid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return QStringLiteral("no user namespace: ") + QString::fromLocal8Bit(strerror(errno));
    if (!writeText("/proc/self/uid_map", "0 " + uid + " 1") ||
        !writeText("/proc/self/setgroups", "deny") ||
        !writeText("/proc/self/gid_map", "0 " + gid + " 1"))
        return QStringLiteral("cannot map the user into its namespace");
    return QString();
}

// Moves the folder's files onto a tmpfs of `size` bytes mounted over it, seen by this process only.
QString putFolderOnTmpfs(const QString& folder, const QByteArray& size) {
    struct Entry {
        QString name;
        QByteArray bytes;
    };
    QList<Entry> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read ") + file.fileName();
        files.append({name, file.readAll()});
    }
    if (const QString why = enterMountNamespace(); !why.isEmpty())
        return why;
    const QByteArray where = QFile::encodeName(folder);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", where.constData(), "tmpfs", 0, "mode=0777,size=" + size) != 0)
        return QStringLiteral("cannot mount a tmpfs: ") + QString::fromLocal8Bit(strerror(errno));
    for (const Entry& entry : files) {
        QFile file(folder + QLatin1Char('/') + entry.name);
        if (!file.open(QIODevice::WriteOnly) || file.write(entry.bytes) != entry.bytes.size())
            return QStringLiteral("the folder's files do not fit on the tmpfs");
    }
    return QString();
}

QString digestOf(const QString& path) {
    QFile file(path);
    QCryptographicHash md5(QCryptographicHash::Md5);
    if (!file.open(QIODevice::ReadOnly) || !md5.addData(&file))
        return QStringLiteral("missing");
    return QString::fromLatin1(md5.result().toHex());
}

} // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QByteArray tmpfsSize;
    if (args.size() >= 4 && args[0] == QLatin1String("--tmpfs")) {
        tmpfsSize = args[1].toLatin1();
        args = args.mid(2);
    }
    const bool hold = !args.isEmpty() && args[0] == QLatin1String("--hold");
    if (hold)
        args.removeFirst();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: %s [--tmpfs BYTES] [--hold] SOURCE TARGET\n", argv[0]);
        return 2;
    }
    const QString source = args[0], target = args[1];
    say(QStringLiteral("pid"), QString::number(::getpid()));
    // Namespaces must be entered while this process still has one thread.
    if (!tmpfsSize.isEmpty()) {
        if (const QString why = putFolderOnTmpfs(folderOf(target), tmpfsSize); !why.isEmpty()) {
            say(QStringLiteral("skip"), why);
            return SkipStatus;
        }
    }

    QFile held(target);
    if (hold && !held.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("skip"), QStringLiteral("cannot hold ") + target);
        return SkipStatus;
    }

    QApplication app(argc, argv);
    platform::reportOversizeWrites();
    RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, NewVersionLocation, source);
    RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, RunningVersionLocation, target);

    PrintingDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    bool ended = false;
    window.onEndProgram = [&ended] { ended = true; };
    window.Form_Load();
    window.show();
    window.cmdCopy->click();

    say(QStringLiteral("label2"), window.Label2->text());
    say(QStringLiteral("ended"), ended ? QStringLiteral("yes") : QStringLiteral("no"));
    if (!ended)
        say(QStringLiteral("answers"),
            test::stillAnswers(window) ? QStringLiteral("yes") : QStringLiteral("no"));
    say(QStringLiteral("target"), digestOf(target));
    QFile checksum(target + QStringLiteral(".sha256"));
    say(QStringLiteral("checksum"), checksum.open(QIODevice::ReadOnly)
                                        ? QString::fromUtf8(checksum.readLine()).trimmed()
                                        : QStringLiteral("missing"));
    say(QStringLiteral("staging"),
        QString::number(test::ReleaseFixture::stagingFilesIn(folderOf(target)).size()));
    return 0;
}
