// Installs this build into a temporary prefix and packs it as a .deb, as `make install` and
// `make package` do, and checks both the way a desktop and dpkg will use them.

#include "support/FileFixtures.h"
#include "support/IdleCopy.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <csignal>

namespace {

using tarsel::test::filesUnder;
using tarsel::test::ProgramRun;
using tarsel::test::readFile;
using tarsel::test::runProgram;

// The value of `key` in the desktop entry's main group.
QString desktopEntry(const QString& path, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    const QString prefix = key + u'=';
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed();
    return QString();
}

// The size a PNG file gives in its header; empty when it is no PNG.
QSize pngSize(const QString& path) {
    const QByteArray head = readFile(path).left(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return QSize();
    return QSize(int(qFromBigEndian<quint32>(head.constData() + 16)),
                 int(qFromBigEndian<quint32>(head.constData() + 20)));
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    QString build;
    QString prefix; // what `cmake --install` put there

    QString desktopFile() const {
        return QDir(prefix + QStringLiteral("/share/applications"))
            .entryInfoList({QStringLiteral("*.desktop")}, QDir::Files)
            .value(0)
            .filePath();
    }

private slots:
    void initTestCase() {
#ifdef TARSEL_PACKAGING_BUILD
        build = QStringLiteral(TARSEL_PACKAGING_BUILD);
#else
        QSKIP("this build installs and packs nothing: only the Linux build does");
#endif
        for (const char* tool : {"cmake", "cpack", "desktop-file-validate", "appstreamcli",
                                 "dpkg-deb", "dpkg-shlibdeps"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(),
                     qPrintable(QStringLiteral("%1 is missing; scripts/install-deps.sh installs it")
                                    .arg(QLatin1String(tool))));
        QVERIFY(work.isValid());
        prefix = work.filePath(QStringLiteral("prefix"));
        const ProgramRun install =
            runProgram(QStringLiteral("cmake"),
                       {QStringLiteral("--install"), build, QStringLiteral("--prefix"), prefix});
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
    }

    // The menu entry starts the installed program and finds its icon at every size.
    void installsADesktopApplication() {
        const QString desktop = desktopFile();
        QVERIFY2(!desktop.isEmpty(), "no .desktop file in share/applications");
        const ProgramRun entry = runProgram(QStringLiteral("desktop-file-validate"), {desktop});
        QVERIFY2(entry.exitCode == 0 && entry.output.isEmpty(), qPrintable(entry.output));

        const QFileInfo program(prefix + QStringLiteral("/bin/") +
                                desktopEntry(desktop, QStringLiteral("Exec")));
        QVERIFY2(program.isFile() && program.isExecutable(), qPrintable(program.filePath()));

        const QString icon = desktopEntry(desktop, QStringLiteral("Icon"));
        const QString hicolor = prefix + QStringLiteral("/share/icons/hicolor/");
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            const QString png = hicolor + QStringLiteral("%1x%1/apps/%2.png").arg(size).arg(icon);
            QCOMPARE(pngSize(png), QSize(size, size));
        }
        QVERIFY(
            readFile(hicolor + QStringLiteral("scalable/apps/%1.svg").arg(icon)).contains("<svg"));

        const QString metainfo = prefix + QStringLiteral("/share/metainfo/%1.metainfo.xml")
                                              .arg(QFileInfo(desktop).completeBaseName());
        const ProgramRun info =
            runProgram(QStringLiteral("appstreamcli"),
                       {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
        QVERIFY2(info.exitCode == 0, qPrintable(info.output));
        QVERIFY(readFile(metainfo).contains("<launchable type=\"desktop-id\">" +
                                            QFileInfo(desktop).fileName().toUtf8() +
                                            "</launchable>"));
    }

    // The package holds what `cmake --install` installs, depends on the Qt libraries, and the
    // program it holds starts, opens its window and keeps running until it is told to end.
    void packsADebianPackageThatRuns() {
        const QString out = work.filePath(QStringLiteral("pack"));
        const ProgramRun pack =
            runProgram(QStringLiteral("cpack"),
                       {QStringLiteral("--config"), build + QStringLiteral("/CPackConfig.cmake"),
                        QStringLiteral("-B"), out});
        QVERIFY2(pack.exitCode == 0, qPrintable(pack.output));
        const QString deb =
            QDir(out).entryInfoList({QStringLiteral("*.deb")}, QDir::Files).value(0).filePath();
        QVERIFY2(!deb.isEmpty(), qPrintable(pack.output));

        const ProgramRun contents =
            runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QCOMPARE(contents.exitCode, 0);
        QStringList packed;
        static const QRegularExpression file(QStringLiteral("^-\\S+\\s.*\\s\\./usr/(\\S+)$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = file.globalMatch(contents.output); it.hasNext();)
            packed << it.next().captured(1);
        packed.sort();
        QCOMPARE(packed, filesUnder(prefix));

        const ProgramRun depends = runProgram(
            QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
        for (const char* package : {"libqt6widgets6", "libqt6gui6", "libqt6core6"})
            QVERIFY2(depends.output.contains(QLatin1String(package)), qPrintable(depends.output));

        const QString root = work.filePath(QStringLiteral("root"));
        const ProgramRun unpack =
            runProgram(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root});
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));

        // The console program needs nothing the package does not bring.
        const ProgramRun version =
            runProgram(root + QStringLiteral("/usr/bin/tarselcopy"), {QStringLiteral("--version")});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.output.startsWith(QStringLiteral("tarselcopy ")),
                 qPrintable(version.output));

        // Start-up restores both paths and stores them again: the hand-written store, comment
        // and all, is rewritten once the window has been built and its paths restored.
        const QString config = work.filePath(QStringLiteral("config"));
        const QString store = config + QStringLiteral("/Ombrix/TarselCopyFile.ini");
        const QByteArray seeded = "; written by the test\n[GeneralControl]\n"
                                  "NewVersionLocation=/nowhere/release.accdb\n"
                                  "RunningVersionLocation=/nowhere/app.accdb\n";
        QVERIFY(QDir().mkpath(QFileInfo(store).absolutePath()));
        QFile seed(store);
        QVERIFY(seed.open(QIODevice::WriteOnly) && seed.write(seeded) == seeded.size());
        seed.close();

        tarsel::test::Child program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), work.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), work.filePath(QStringLiteral("system")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.path());
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(root + QStringLiteral("/usr/bin/TarselCopyFile"), {});
        QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));

        // Well before the first sweep of Access processes, about six seconds after the start.
        QTRY_VERIFY_WITH_TIMEOUT(readFile(store) != seeded || program.state() != QProcess::Running,
                                 5000);
        QVERIFY2(program.state() == QProcess::Running && !program.waitForFinished(300),
                 qPrintable(QString::fromLocal8Bit(program.readAll())));
        QCOMPARE(readFile(store), QByteArray("[GeneralControl]\n"
                                             "NewVersionLocation=/nowhere/release.accdb\n"
                                             "RunningVersionLocation=/nowhere/app.accdb\n"));
        program.terminate();
        QVERIFY(program.waitForFinished(10'000));
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);
        QCOMPARE(program.exitCode(), SIGTERM);
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
