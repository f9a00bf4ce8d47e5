// Installs the MSI as deployment tools do (msiexec, silently), puts a later version over it and
// uninstalls it, checking after each step what people and Apps & features see.

#include "core/RegistryKeys.h"
#include "support/FileFixtures.h"
#include "support/IdleCopy.h"
#include "support/MinisignFixtures.h"
#include "support/ProgramRun.h"
#include "support/TestHost.h"

#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#ifdef TARSEL_MSI_VERSION
#include <windows.h>

#include <shobjidl.h>
#endif

namespace {

const QString UninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");

// Where the Event Log finds the message table of tarselcopy.exe's events.
const QString EventSourceKey = QStringLiteral(
    "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TarselCopyFile");

using tarsel::test::filesUnder;
using tarsel::test::ProgramRun;
using tarsel::test::readFile;
using tarsel::test::runProgram;
using tarsel::test::writeFile;

// The versions that Apps & features lists for TarselCopyFile, each with its publisher.
QStringList listedVersions() {
    // A 64-bit program reads the 64-bit view, where a 64-bit package registers.
    QSettings uninstall(UninstallKey, QSettings::NativeFormat);
    QStringList versions;
    for (const QString& product : uninstall.childGroups()) {
        uninstall.beginGroup(product);
        if (uninstall.value(QStringLiteral("DisplayName")).toString() ==
            QLatin1String("TarselCopyFile"))
            versions << uninstall.value(QStringLiteral("DisplayVersion")).toString() + u' ' +
                            uninstall.value(QStringLiteral("Publisher")).toString();
        uninstall.endGroup();
    }
    return versions;
}

// The values of TarselCopyFile's entry in Apps & features; empty when it has none.
QVariantMap listedEntry() {
    QSettings uninstall(UninstallKey, QSettings::NativeFormat);
    for (const QString& product : uninstall.childGroups()) {
        uninstall.beginGroup(product);
        if (uninstall.value(QStringLiteral("DisplayName")).toString() ==
            QLatin1String("TarselCopyFile")) {
            QVariantMap values;
            for (const QString& name : uninstall.childKeys())
                values.insert(name, uninstall.value(name));
            return values;
        }
        uninstall.endGroup();
    }
    return {};
}

// The Event Log source's values as "name type data", as reg lists them (it names the types, which
// QSettings does not tell), sorted; none when the key is not there.
std::optional<QStringList> eventSourceValues() {
    static const QRegularExpression value(QStringLiteral("^\\s+(\\S+)\\s+(REG_\\w+)\\s+(.*)$"));
    const ProgramRun query =
        runProgram(QStringLiteral("reg"), {QStringLiteral("query"), EventSourceKey});
    if (query.exitCode != 0)
        return std::nullopt;
    QStringList values;
    for (QString line : query.output.split(u'\n'))
        if (const QRegularExpressionMatch match = value.match(line.remove(u'\r')); match.hasMatch())
            values << match.captured(1) + u' ' + match.captured(2) + u' ' + match.captured(3);
    values.sort();
    return values;
}
#ifdef TARSEL_MSI_VERSION
// The arguments that a shortcut gives its program, as the shell reads them; empty where it cannot
// be read.
QString shortcutArguments(const QString& link) {
    QString arguments;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* shortcut = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&shortcut)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(
                shortcut->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t read[INFOTIPSIZE];
            if (SUCCEEDED(
                    file->Load(QDir::toNativeSeparators(link).toStdWString().c_str(), STGM_READ)) &&
                SUCCEEDED(shortcut->GetArguments(read, INFOTIPSIZE)))
                arguments = QString::fromWCharArray(read);
            file->Release();
        }
        shortcut->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return arguments;
}
#endif

} // namespace

class TestMsi : public QObject {
    Q_OBJECT

    QTemporaryDir work;

    static QString packages() {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/msi/");
    }
    static QString msi(const QString& version) {
        return QDir::toNativeSeparators(packages() +
                                        QStringLiteral("TarselCopyFile-%1-x64.msi").arg(version));
    }
    // The folder the package was made from, as it installs it.
    static QString packedFolder(const QString& version) {
        return packages() + QStringLiteral("TarselCopyFile-%1-x64/TarselCopyFile").arg(version);
    }
    static QString makerFolder() {
        return qEnvironmentVariable("ProgramW6432", qEnvironmentVariable("ProgramFiles")) +
               QStringLiteral("/Ombrix");
    }
    static QString installFolder() { return makerFolder() + QStringLiteral("/TarselCopyFile"); }

    // The Start-menu shortcut of a per-machine install: in the Programs folder of all users.
    // Wine's msiexec puts it in the installing user's Programs folder instead: its
    // ProgramMenuFolder is that folder although the package says ALLUSERS=1 (InstallScope
    // perMachine), as its log shows.
    static QString shortcut(const QString& name = QStringLiteral("TarselCopyFile")) {
        const bool wine = !tarsel::test::wineVersion().isEmpty();
        return qEnvironmentVariable(wine ? "APPDATA" : "ProgramData") +
               QStringLiteral("/Microsoft/Windows/Start Menu/Programs/") + name +
               QStringLiteral(".lnk");
    }
    // The shortcut that updates the front end with the stored paths, then opens it.
    static QString frontEndShortcut() {
        return shortcut(QStringLiteral("Update and open the front end"));
    }

    // msiexec as deployment tools run it: no user interface, with a log to show when it fails.
    ProgramRun msiexec(const QString& action, const QString& package) {
        const QString log = QDir::toNativeSeparators(work.filePath(QStringLiteral("msiexec.log")));
        QFile::remove(log);
        ProgramRun result =
            runProgram(QStringLiteral("msiexec"),
                       {action, package, QStringLiteral("/qn"), QStringLiteral("/l*v"), log});
        const QByteArray logged = readFile(log);
        result.output += QString::fromLocal8Bit(logged.right(3000));
        return result;
    }

#ifdef TARSEL_MSI_VERSION
    void verifyInstalled(const QString& version) {
        QCOMPARE(listedVersions(), QStringList{version + QStringLiteral(" Ombrix")});
        const QStringList packed = filesUnder(packedFolder(version));
        // The programs, and the licence of libsodium, which is linked into them.
        for (const char* file : {"tarselcopy.exe", "tarselcopyw.exe", "libsodium.LICENSE.txt"})
            QVERIFY2(packed.contains(QLatin1String(file)), file);
        QCOMPARE(filesUnder(installFolder()), packed);
        for (const QString& file : packed)
            QVERIFY2(readFile(installFolder() + u'/' + file) ==
                         readFile(packedFolder(version) + u'/' + file),
                     qPrintable(file));
        // Where it is, where its users get help, and its size, which Windows Installer reckons
        // from the files; Wine's msiexec writes 0 whatever the package gives.
        const QVariantMap entry = listedEntry();
        QCOMPARE(QFileInfo(entry.value(QStringLiteral("InstallLocation")).toString())
                     .canonicalFilePath(),
                 QFileInfo(installFolder()).canonicalFilePath());
        QCOMPARE(entry.value(QStringLiteral("HelpLink")).toString(),
                 QStringLiteral(TARSEL_MSI_HELP_LINK));
        if (tarsel::test::wineVersion().isEmpty())
            QVERIFY(entry.value(QStringLiteral("EstimatedSize")).toUInt() > 0);
        // The events' source, with the installed program as its message file: a path that the
        // Event Log reads as it stands, as REG_SZ is never expanded.
        const QString program =
            QDir::toNativeSeparators(installFolder() + QStringLiteral("/tarselcopy.exe"));
        QCOMPARE(eventSourceValues().value_or(QStringList{QStringLiteral("no key")}),
                 QStringList({QStringLiteral("EventMessageFile REG_SZ ") + program,
                              QStringLiteral("TypesSupported REG_DWORD 0x7")}));
        const QFileInfo link(shortcut());
        QVERIFY2(link.isShortcut(), qPrintable(link.filePath()));
        QCOMPARE(
            QFileInfo(link.symLinkTarget()).canonicalFilePath(),
            QFileInfo(installFolder() + QStringLiteral("/TarselCopyFile.exe")).canonicalFilePath());
        const QFileInfo frontEnd(frontEndShortcut());
        QVERIFY2(frontEnd.isShortcut(), qPrintable(frontEnd.filePath()));
        QCOMPARE(
            QFileInfo(frontEnd.symLinkTarget()).canonicalFilePath(),
            QFileInfo(installFolder() + QStringLiteral("/tarselcopyw.exe")).canonicalFilePath());
        QCOMPARE(shortcutArguments(frontEnd.filePath()),
                 QStringLiteral("--if-changed --end-access --open"));
    }
#endif

private slots:
    void initTestCase() {
#ifndef TARSEL_MSI_VERSION
        QSKIP("only the Windows build makes an MSI");
#else
        // A per-machine install changes the computer for every user: only where it is thrown away
        // afterwards, as `make test-windows` throws away its Wine prefix.
        if (qEnvironmentVariableIsEmpty("TARSEL_THROWAWAY_SYSTEM"))
            QSKIP("installs for every user of this computer: runs only on a throw-away system "
                  "(TARSEL_THROWAWAY_SYSTEM=1), such as the Wine prefix of make test-windows");
        QVERIFY(work.isValid());
        QVERIFY2(QFile::exists(msi(QStringLiteral(TARSEL_MSI_VERSION))),
                 qPrintable(msi(QStringLiteral(TARSEL_MSI_VERSION))));
        QVERIFY2(listedVersions().isEmpty() && !QFile::exists(installFolder()),
                 "TarselCopyFile is installed already: this test needs a system without it");
#endif
    }

    void cleanupTestCase() {
#ifdef TARSEL_MSI_VERSION
        if (!listedVersions().isEmpty())
            for (const char* version : {TARSEL_LATER_MSI_VERSION, TARSEL_MSI_VERSION})
                msiexec(QStringLiteral("/x"), msi(QLatin1String(version)));
#endif
    }

#ifdef TARSEL_MSI_VERSION
    void installsSilently() {
        const ProgramRun install =
            msiexec(QStringLiteral("/i"), msi(QStringLiteral(TARSEL_MSI_VERSION)));
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
        verifyInstalled(QStringLiteral(TARSEL_MSI_VERSION));
    }

    // The programs run from where they were installed, with what was installed beside them.
    void installedProgramsRun() {
        const QString release = work.filePath(QStringLiteral("release.accdb"));
        const QString target = work.filePath(QStringLiteral("app.accdb"));
        QVERIFY(writeFile(release, QByteArray(300'000, 'n')));
        for (const char* program : {"tarselcopy.exe", "tarselcopyw.exe"}) {
            QVERIFY(writeFile(target, "old version"));
            const ProgramRun update =
                runProgram(installFolder() + u'/' + QLatin1String(program),
                           {QStringLiteral("--source"), release, QStringLiteral("--target"), target,
                            QStringLiteral("--quiet")});
            QVERIFY2(update.exitCode == 0, qPrintable(program + (": " + update.output)));
            QCOMPARE(readFile(target), readFile(release));
        }

        // The package brings the platform for a desktop only; this offscreen run takes the
        // test's own, with the installed program, libraries and style.
        tarsel::test::Child window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM_PLUGIN_PATH"),
                   QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
        window.setProcessEnvironment(env);
        window.setProcessChannelMode(QProcess::MergedChannels);
        window.start(installFolder() + QStringLiteral("/TarselCopyFile.exe"), {});
        QVERIFY2(window.waitForStarted(), qPrintable(window.errorString()));
        // A library or plugin that fails to load ends the program within moments.
        QVERIFY2(!window.waitForFinished(5000),
                 qPrintable(QStringLiteral("ended with %1: %2")
                                .arg(window.exitCode())
                                .arg(QString::fromLocal8Bit(window.readAll()))));
    }

    // The installed program signs a release and checks its signature with nothing beside it
    // for the cryptography: a release signed by a key that is not trusted stays out.
    void installedProgramChecksSignatures() {
        const QString program = installFolder() + QStringLiteral("/tarselcopy.exe");
        const QString build = work.filePath(QStringLiteral("build.accdb"));
        const QString master = work.filePath(QStringLiteral("signed.accdb"));
        const QString target = work.filePath(QStringLiteral("desk.accdb"));
        const QString key = work.filePath(QStringLiteral("unprotected.key"));
        QVERIFY(writeFile(key, tarsel::test::minisignFixture(QStringLiteral("unprotected.key"))));
        QVERIFY(writeFile(build, QByteArray(5000, 's')));
        const ProgramRun publish =
            runProgram(program, {QStringLiteral("--sign-key"), key, QStringLiteral("--source"),
                                 build, QStringLiteral("--target"), master});
        QVERIFY2(publish.exitCode == 0, qPrintable(publish.output));
        for (const char* trusted : {"other", "unprotected"}) {
            QVERIFY(writeFile(target, "old version"));
            const ProgramRun run = runProgram(
                program, {QStringLiteral("--source"), master, QStringLiteral("--target"), target,
                          QStringLiteral("--quiet"), QStringLiteral("--trusted-key"),
                          tarsel::test::publicKeyLine(QLatin1String(trusted))});
            const bool taken = qstrcmp(trusted, "unprotected") == 0;
            QVERIFY2((run.exitCode == 0) == taken, qPrintable(trusted + (": " + run.output)));
            QCOMPARE(readFile(target), taken ? readFile(build) : QByteArray("old version"));
        }
    }

    // Group Policy presets both paths for a user who stored none, the computer's policy before the
    // user's, each expanded in the user's environment; a path the user stored wins.
    void installedProgramFollowsThePolicies() {
        const QString userKey = QStringLiteral("HKCU\\") + tarsel::SettingsKeyPath;
        const QString computerPolicy = QStringLiteral("HKLM\\") + tarsel::PolicyKeyPath;
        const QString userPolicy = QStringLiteral("HKCU\\") + tarsel::PolicyKeyPath;
        const auto removeKeys = [&] {
            for (const QString& key : {userKey, computerPolicy, userPolicy})
                runProgram(QStringLiteral("reg"),
                           {QStringLiteral("delete"), key, QStringLiteral("/f")});
        };
        removeKeys(); // what the window stored when it started
        const auto cleanup = qScopeGuard(removeKeys);
        const auto set = [](const QString& key, const QString& name, const QString& type,
                            const QString& text) {
            const ProgramRun add = runProgram(QStringLiteral("reg"),
                                              {QStringLiteral("add"), key, QStringLiteral("/v"),
                                               name, QStringLiteral("/t"), type,
                                               QStringLiteral("/d"), text, QStringLiteral("/f")});
            return add.exitCode == 0 ? QString() : add.output;
        };
        const QString expand = QStringLiteral("REG_EXPAND_SZ");
        QCOMPARE(set(computerPolicy, tarsel::NewVersionLocation, expand,
                     QStringLiteral("%TARSEL_POLICY_TEST%\\release.accdb")),
                 QString());
        QCOMPARE(set(computerPolicy, tarsel::RunningVersionLocation, expand,
                     QStringLiteral("%TARSEL_POLICY_TEST%\\computer.accdb")),
                 QString());
        QCOMPARE(set(userPolicy, tarsel::RunningVersionLocation, expand,
                     QStringLiteral("%TARSEL_POLICY_TEST%\\user-policy.accdb")),
                 QString());

        const QString folder = work.filePath(QStringLiteral("policy"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFile(folder + QStringLiteral("/release.accdb"), "preset release"));
        const auto update = [&] {
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TARSEL_POLICY_TEST"), QDir::toNativeSeparators(folder));
            program.setProcessEnvironment(env);
            program.setProcessChannelMode(QProcess::MergedChannels);
            program.start(installFolder() + QStringLiteral("/tarselcopy.exe"),
                          {QStringLiteral("--quiet")});
            if (!program.waitForFinished(120'000))
                return QStringLiteral("did not finish");
            return program.exitCode() == 0 ? QString() : QString::fromLocal8Bit(program.readAll());
        };
        QCOMPARE(update(), QString());
        QCOMPARE(readFile(folder + QStringLiteral("/computer.accdb")),
                 QByteArray("preset release"));
        QVERIFY(!QFile::exists(folder + QStringLiteral("/user-policy.accdb")));

        const QString own = QDir::toNativeSeparators(folder + QStringLiteral("/own.accdb"));
        QCOMPARE(set(userKey, tarsel::RunningVersionLocation, QStringLiteral("REG_SZ"), own),
                 QString());
        QCOMPARE(update(), QString());
        QCOMPARE(readFile(own), QByteArray("preset release"));
    }

    // A later version replaces the installed one in place; an earlier one then refuses to go over
    // it.
    void upgradesInPlace() {
        const ProgramRun upgrade =
            msiexec(QStringLiteral("/i"), msi(QStringLiteral(TARSEL_LATER_MSI_VERSION)));
        QVERIFY2(upgrade.exitCode == 0, qPrintable(upgrade.output));
        verifyInstalled(QStringLiteral(TARSEL_LATER_MSI_VERSION));

        const ProgramRun downgrade =
            msiexec(QStringLiteral("/i"), msi(QStringLiteral(TARSEL_MSI_VERSION)));
        QVERIFY2(downgrade.exitCode != 0, qPrintable(downgrade.output));
        verifyInstalled(QStringLiteral(TARSEL_LATER_MSI_VERSION));
    }

    void uninstallsWithoutATrace() {
        const ProgramRun uninstall =
            msiexec(QStringLiteral("/x"), msi(QStringLiteral(TARSEL_LATER_MSI_VERSION)));
        QVERIFY2(uninstall.exitCode == 0, qPrintable(uninstall.output));
        QCOMPARE(listedVersions(), QStringList());
        QVERIFY(!QFileInfo::exists(shortcut()));
        QVERIFY(!eventSourceValues());
        QVERIFY(!QFileInfo::exists(frontEndShortcut()));
        QVERIFY2(!QFileInfo::exists(makerFolder()),
                 qPrintable(filesUnder(makerFolder()).join(u' ')));
    }
#endif
};

QTEST_GUILESS_MAIN(TestMsi)
#include "test_msi.moc"
