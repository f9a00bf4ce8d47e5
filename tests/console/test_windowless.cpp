// tarselcopyw, the update for shortcuts: no console window, nothing shown where its user gets to
// work, and one message box where a run failed and nothing could be opened. The boxes are seen
// through the twin that records them; the program itself runs where it shows none.

#include "core/MessageBoxes.h"
#include "support/FileFixtures.h"
#include "support/TestHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

using namespace tarsel;
using namespace tarsel::test;

namespace {

// A program of the build's top folder, where it runs as installed.
QString program(const QString& name) {
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))
        .absoluteFilePath(name);
}

QString recordingProgram() {
    return program(QStringLiteral(TARSEL_RECORDING_PROGRAM));
}

// The programs that run a row: the recording twin always; where no box may come, the windowless
// program itself too.
QStringList programsFor(bool boxExpected) {
    QStringList programs{recordingProgram()};
#ifdef TARSEL_WINDOWLESS_PROGRAM
    if (!boxExpected)
        programs << program(QStringLiteral(TARSEL_WINDOWLESS_PROGRAM));
#else
    Q_UNUSED(boxExpected);
#endif
    return programs;
}

struct Ran {
    int exitCode = -1;
    QString out;
    QString err;
    QJsonArray boxes;
};

// The subsystem field of a Windows program file's optional header; 0 where it is no such file.
quint16 subsystemOf(const QString& path) {
    const QByteArray file = readFile(path);
    if (file.size() < 0x40)
        return 0;
    const qsizetype header = qFromLittleEndian<quint32>(file.constData() + 0x3c);
    // "PE\0\0", the file header (20 bytes), then the optional header with the subsystem at 68.
    const qsizetype field = header + 4 + 20 + 68;
    if (header < 0 || field + 2 > file.size() || file.mid(header, 4) != QByteArray("PE\0\0", 4))
        return 0;
    return qFromLittleEndian<quint16>(file.constData() + field);
}

} // namespace

class TestWindowless : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString root_; // each run's own folder
    int runs_ = 0;

    QString path(const QString& name) const { return root_ + u'/' + name; }
    // Named so that the stand-in opener opens it on every system.
    QString target() const { return path("desk/front end" + StandInOpener::standInExtension()); }
    QString release() const { return path("share/release.accdb"); }
    QString boxesFile() const { return dir_.filePath("boxes.json"); }
    QString openedFile() const { return dir_.filePath("opened.txt"); }

    Ran run(const QString& programFile, const QStringList& arguments) {
        QFile::remove(boxesFile());
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TARSEL_RECORDED_BOXES"),
                           QDir::toNativeSeparators(boxesFile()));
        process.setProcessEnvironment(environment);
        process.start(programFile, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
            return {};
        const auto lines = [](const QByteArray& bytes) {
            return QString::fromUtf8(bytes).replace(QLatin1String("\r\n"), QLatin1String("\n"));
        };
        return {process.exitCode(), lines(process.readAllStandardOutput()),
                lines(process.readAllStandardError()),
                QJsonDocument::fromJson(readFile(boxesFile())).array()};
    }

    // The path the stand-in opener was given, once it has run; empty until then.
    QString opened() const {
        return QString::fromLocal8Bit(readFile(openedFile()))
            .split(QRegularExpression("\r?\n"))
            .value(0);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(QFileInfo(recordingProgram()).isExecutable());
    }

    // What each program file is built for: only a console program gets a console window.
    void builtForItsSubsystem_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("subsystem");
        QTest::newRow("tarselcopy: the console") << TARSEL_CONSOLE_PROGRAM << 3;
#ifdef TARSEL_WINDOWLESS_PROGRAM
        QTest::newRow("tarselcopyw: the Windows subsystem") << TARSEL_WINDOWLESS_PROGRAM << 2;
        QTest::newRow("its recording twin, as it is") << TARSEL_RECORDING_PROGRAM << 2;
#endif
    }

    void builtForItsSubsystem() {
        QFETCH(QString, file);
        QFETCH(int, subsystem);
#ifndef TARSEL_WINDOWLESS_PROGRAM
        QSKIP("Linux programs get no console window of their own: a desktop entry with "
              "Terminal=false starts tarselcopy without one, so there is no tarselcopyw");
#endif
        QCOMPARE(int(subsystemOf(program(file))), subsystem);
    }

    void tellsOnlyWhenNothingOpened_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("advice"); // the box's last line; empty: no box
        QTest::newRow("updated") << "plain" << false << 0 << "";
        QTest::newRow("updated, then opened") << "plain" << true << 0 << "";
        QTest::newRow("current, opened") << "current" << true << 0 << "";
        QTest::newRow("the release missing: the version in place opened")
            << "release missing" << true << 3 << "";
        QTest::newRow("the release missing, nothing asked to open")
            << "release missing" << false << 3
            << "The new release cannot be taken now. Try again in a few minutes.";
        QTest::newRow("a first install whose folder cannot be made: nothing to open")
            << "folder blocked" << true << 4
            << "The front end cannot be replaced now: close the programs that use it, "
               "Microsoft Access among them, and try again.";
        QTest::newRow("a wrong command line") << "unknown option" << true << 2
                                              << "The shortcut or script that started the update "
                                                 "is set up wrongly: tell your help desk what "
                                                 "this message says.";
        // The shortcut did not bring its user to work: as much a failure to be told.
        QTest::newRow("updated, but no program opens it")
            << "no opener" << true << 0 << "The front end is up to date: open it yourself.";
        // --check's "behind" is an answer for a script, not a failure to tell.
        QTest::newRow("--check, behind") << "check behind" << false << 1 << "";
        // A name from the share cannot reorder the box's text to read as another.
        QTest::newRow("a name that reorders text: escaped")
            << "reordering name" << false << 3
            << "The new release cannot be taken now. Try again in a few minutes.";
    }

    // No row shows a box but where nothing was opened; the box gives the line that standard error
    // gives, then what to do.
    void tellsOnlyWhenNothingOpened() {
        QFETCH(QString, situation);
        QFETCH(bool, open);
        QFETCH(int, exitCode);
        QFETCH(QString, advice);
        const bool boxExpected = !advice.isEmpty();
        // A folder of its own (no ':', which would split PATH), so that no other row's is found.
        const QString openerFolder = dir_.filePath(QStringLiteral("opener %1").arg(++runs_));
        QVERIFY(QDir().mkpath(openerFolder));
        const bool noOpener = situation == "no opener";
        const StandInOpener opener(openerFolder, openedFile(), noOpener);
        // With no opener, Wine differs only in the error's number, which this row does not read.
        if (!opener.missing().isEmpty() && !(noOpener && !wineVersion().isEmpty()))
            QSKIP(qPrintable(opener.missing()));
        for (const QString& programFile : programsFor(boxExpected)) {
            root_ = dir_.filePath(QStringLiteral("run %1").arg(++runs_));
            QVERIFY(QDir().mkpath(path("share")) && QDir().mkpath(path("desk")));
            QVERIFY(writeFile(release(), patternBytes(100000)));
            QVERIFY(writeFile(target(), "the old version"));
            QString source = release();
            QString targetPath = target();
            QStringList extra;
            if (situation == "current") {
                QCOMPARE(
                    run(recordingProgram(), {"--source", source, "--target", targetPath}).exitCode,
                    0);
                extra << "--if-changed";
            } else if (situation == "release missing") {
                QVERIFY(QFile::remove(release()));
            } else if (situation == "folder blocked") {
                QVERIFY(writeFile(path("blocker"), "a file"));
                targetPath = path("blocker/deeper/front end.accdb");
            } else if (situation == "unknown option") {
                extra << "--frobnicate";
            } else if (situation == "check behind") {
                extra << "--check";
            } else if (situation == "reordering name") {
                source = path(QStringLiteral("share/gpj.\u202eexe"));
            }
            if (open)
                extra << "--open";
            const Ran ran =
                run(programFile, QStringList{"--source", source, "--target", targetPath} << extra);
            const QString label = QFileInfo(programFile).fileName() + ": " + ran.err;
            QVERIFY2(ran.exitCode == exitCode, qPrintable(label));
            // Standard output and error still reach whoever reads them.
            QVERIFY2(ran.out.endsWith('\n') && !ran.out.contains("\n\n"), qPrintable(ran.out));
            QCOMPARE(ran.boxes.size(), boxExpected ? 1 : 0);
            if (open && !boxExpected)
                QTRY_COMPARE_WITH_TIMEOUT(opened(), QDir::toNativeSeparators(targetPath), 30000);
            QFile::remove(openedFile());
            if (!boxExpected)
                continue;
            const QJsonObject box = ran.boxes.first().toObject();
            QCOMPARE(box.value("style").toInt(), MsgStyle::Critical);
            QCOMPARE(box.value("title").toString(), QString()); // the application's own
            const QStringList lines = box.value("prompt").toString().split("\r\n");
            QVERIFY2(lines.size() >= 3 && lines.last().startsWith(advice),
                     qPrintable(lines.join('|')));
            QVERIFY2(lines.first().startsWith(exitCode == 2 ? "" : "Error "),
                     qPrintable(lines.first()));
            QVERIFY2(ran.err.contains("tarselcopy: " + lines.first() + '\n'), qPrintable(label));
            QCOMPARE(lines.at(lines.size() - 2), QString());
            if (situation == "reordering name")
                QVERIFY2(lines.first().contains("\\u202e") && !lines.first().contains(u'\u202e'),
                         qPrintable(lines.first()));
        }
    }
};

QTEST_GUILESS_MAIN(TestWindowless)
#include "test_windowless.moc"
