#include "filetime/FileDateKind.h"
#include "filetime/ReadFileDate.h"
#include "settings/Module1.h"
#include "support/FileFixtures.h"
#include "support/IdleCopy.h"
#include "support/ReleaseFixture.h"
#include "support/TestHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <list>

using namespace tarsel;
using namespace tarsel::test;

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

QString program() {
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))
        .absoluteFilePath(QStringLiteral(TARSEL_CONSOLE_PROGRAM));
}

Outcome finish(QProcess& process) {
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestTarselCopy : public QObject {
    Q_OBJECT

    IsolatedSettings settings_;
    ReleaseFixture files_;
    QTemporaryDir tools_;
    QString opened_; // where the stand-in for the desktop's opener writes what it was given

    // The program with a process environment whose opener is our stand-in.
    void start(QProcess& process, const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"),
                           tools_.path() + QDir::listSeparator() + environment.value("PATH"));
        process.setProcessEnvironment(environment);
        process.start(program(), arguments);
    }

    Outcome run(const QStringList& arguments) {
        QProcess process;
        start(process, arguments);
        return finish(process);
    }

    QStringList paths() const { return {"--source", files_.source, "--target", files_.target}; }

    // The target as it stands: same bytes, and a change would move its modification time.
    QDateTime modifiedOf(const QString& path) const { return QFileInfo(path).lastModified(); }

private slots:
    void initTestCase() {
        QVERIFY(QFileInfo(program()).isExecutable());
        QVERIFY(tools_.isValid());
        opened_ = tools_.filePath("opened.txt");
        QVERIFY(writeFile(tools_.filePath("xdg-open"),
                          "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened_.toUtf8() + "'\n"));
        QVERIFY(
            QFile::setPermissions(tools_.filePath("xdg-open"), QFile::ReadOwner | QFile::ExeOwner));
    }

    void init() {
        QVERIFY(files_.reset(patternBytes(300000), QByteArray("the old version")));
        QFile::remove(opened_);
    }

    void exitCodes_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("inService"); // the release is at the target afterwards
        QTest::newRow("updated") << "plain" << 0 << true;
        QTest::newRow("unknown option") << "--frobnicate" << 2 << false;
        QTest::newRow("no target") << "no target" << 2 << false;
        QTest::newRow("same file") << "same file" << 2 << false;
        QTest::newRow("release missing") << "release missing" << 3 << false;
        QTest::newRow("release is a folder") << "release folder" << 3 << false;
        QTest::newRow("target folder missing") << "target folder missing" << 4 << false;
        QTest::newRow("target is a folder") << "target folder" << 4 << false;
        QTest::newRow("disk full") << "disk full" << 5 << false;
    }

    // Every code, with the old version untouched and no staging file whenever the run failed, one
    // line on standard output for a run, and nothing on standard error but the error.
    void exitCodes() {
        QFETCH(QString, situation);
        QFETCH(int, exitCode);
        QFETCH(bool, inService);
        QStringList arguments = paths();
        QString target = files_.target;
        if (situation == "--frobnicate") {
            arguments << situation;
        } else if (situation == "no target") {
            arguments = QStringList{"--source", files_.source, "--target", ""};
        } else if (situation == "same file") {
            arguments[3] = files_.source;
            target = files_.source;
        } else if (situation == "release missing") {
            QVERIFY(QFile::remove(files_.source));
        } else if (situation == "release folder") {
            QVERIFY(QFile::remove(files_.source) && QDir().mkdir(files_.source));
        } else if (situation == "target folder missing") {
            target = files_.root() + "/nowhere/app.mdb";
            arguments[3] = target;
        } else if (situation == "target folder") {
            QVERIFY(QFile::remove(files_.target) && QDir().mkdir(files_.target));
        }
        std::optional<FileSizeLimit> limit;
        if (situation == "disk full") {
            const QString noLimit = missing(Facility::FileSizeLimit);
            const QString noFullDrive = missing(Facility::FullDrive);
            if (noLimit.isEmpty()) {
                limit.emplace(1000); // passed on to the child
            } else if (noFullDrive.isEmpty()) {
                target = fullDriveRoot() + "/app.mdb";
                arguments[3] = target;
                QVERIFY(writeFile(files_.source, patternBytes(3 << 20)));
            } else {
                QSKIP(qPrintable(noLimit + "; " + noFullDrive));
            }
        }
        const QByteArray before = readFile(target);
        const Outcome outcome = run(arguments);
        limit.reset();

        QCOMPARE(outcome.exitCode, exitCode);
        QCOMPARE(ReleaseFixture::stagingFilesIn(QFileInfo(target).absolutePath()), QStringList());
        if (inService) {
            QCOMPARE(readFile(files_.target), files_.newBytes);
            QVERIFY2(outcome.out.startsWith("updated " + files_.target + " (300000 bytes, "),
                     qPrintable(outcome.out + outcome.err));
            QCOMPARE(outcome.err, QString());
        } else {
            QCOMPARE(readFile(target), before);
            QVERIFY(!outcome.err.isEmpty());
        }
        if (exitCode > 2 || situation == "same file") {
            QCOMPARE(outcome.out.count('\n'), 1);
            QVERIFY(outcome.out.startsWith("failed "));
            QVERIFY(outcome.err.contains(QRegularExpression("^tarselcopy: Error \\d+ \\(")));
        }
    }

    // A shortcut or a logon script without paths runs with the ones the window shows this user.
    void storedPathsAreTheDefaults() {
        if (const QString why = missing(Facility::ChildSharesSettings); !why.isEmpty())
            QSKIP(qPrintable(why));
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, NewVersionLocation, files_.source);
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, RunningVersionLocation, files_.target);
        const Outcome outcome = run({});
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(readFile(files_.target), files_.newBytes);
    }

    void ifChanged_data() {
        QTest::addColumn<QString>("since");
        QTest::addColumn<bool>("current");
        QTest::newRow("nothing changed: current") << "nothing" << true;
        QTest::newRow("a new release") << "new release" << false;
        QTest::newRow("same bytes, never stamped by a run") << "copied by hand" << false;
    }

    void ifChanged() {
        QFETCH(QString, since);
        QFETCH(bool, current);
        if (const QString why = missing(Facility::CreationTime, files_.liveFolder());
            !why.isEmpty())
            QSKIP(qPrintable(why));
        QCOMPARE(run(paths()).exitCode, 0);
        if (since == "new release") {
            QVERIFY(writeFile(files_.source, patternBytes(300001)));
        } else if (since == "copied by hand") {
            QVERIFY(QFile::remove(files_.target) && QFile::copy(files_.source, files_.target));
            FileTimeRecords records;
            QVERIFY(ReadFileDate(records, files_.target, Created) !=
                    ReadFileDate(records, files_.source, Modified).addSecs(60));
        }
        const QDateTime before = modifiedOf(files_.target);
        const Outcome outcome = run(paths() << "--if-changed");
        QCOMPARE(outcome.exitCode, 0);
        QCOMPARE(readFile(files_.target), readFile(files_.source));
        if (current) {
            QCOMPARE(outcome.out, "current " + files_.target + '\n');
            QCOMPARE(modifiedOf(files_.target), before);
        } else {
            QVERIFY(outcome.out.startsWith("updated "));
        }
    }

    // One line per run, ten tab-separated fields, appended: a log on a share gathers many runs.
    void logLines() {
        const QString log = files_.root() + "/runs.log";
        QCOMPARE(run(paths() << "--log" << log).exitCode, 0);
        QVERIFY(QFile::remove(files_.source));
        QCOMPARE(run(paths() << "--log" << log).exitCode, 3);

        const QStringList lines = QString::fromUtf8(readFile(log)).split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines.last(), QString());
        const QStringList updated = lines[0].split('\t');
        const QStringList failed = lines[1].split('\t');
        QCOMPARE(updated.size(), 10);
        QCOMPARE(failed.size(), 10);
        const QDateTime when = QDateTime::fromString(updated[0], Qt::ISODate);
        QVERIFY(when.isValid());
        QVERIFY(updated[0].contains(QRegularExpression("T\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")));
        QVERIFY(qAbs(when.secsTo(QDateTime::currentDateTime())) < 600);
        QVERIFY(!updated[1].isEmpty() && !updated[2].isEmpty());
        QCOMPARE(updated.mid(3, 5),
                 QStringList({"updated", "0", files_.source, files_.target, "300000"}));
        QCOMPARE(updated[9], QString());
        QCOMPARE(failed.mid(3, 5), QStringList({"failed", "3", files_.source, files_.target, "0"}));
        QVERIFY(failed[9].startsWith("Error 53 ("));
    }

    void opensTheTargetAfterwards_data() {
        QTest::addColumn<bool>("releaseThere");
        QTest::newRow("the new version") << true;
        QTest::newRow("the old version, when the run failed") << false;
    }

    void opensTheTargetAfterwards() {
        QFETCH(bool, releaseThere);
        if (const QString why = missing(Facility::StandInOpener); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (!releaseThere)
            QVERIFY(QFile::remove(files_.source));
        QCOMPARE(run(paths() << "--open").exitCode, releaseThere ? 0 : 3);
        QTRY_VERIFY(QFileInfo::exists(opened_));
        QTRY_COMPARE(QString::fromUtf8(readFile(opened_)), files_.target);
    }

    // Ctrl+C or SIGTERM while the run waits for Access to close: nothing is replaced, nothing is
    // left behind.
    void cancelKeepsTheOldVersion() {
        for (Facility needed : {Facility::AskToClose, Facility::InterruptChild})
            if (const QString why = missing(needed); !why.isEmpty())
                QSKIP(qPrintable(why));
        Child access;
        QVERIFY(startIdleCopy(access, tools_.path(), "MSACCESS.EXE", QString(), true));
        QProcess tarselcopy;
        start(tarselcopy, paths() << "--end-access");
        QVERIFY(tarselcopy.waitForStarted());
        QTRY_VERIFY(catchesInterrupts(tarselcopy.processId()));
        tarselcopy.terminate();
        const Outcome outcome = finish(tarselcopy);
        QCOMPARE(outcome.exitCode, 8);
        QVERIFY(outcome.out.startsWith("cancelled "));
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QCOMPARE(files_.stagingFiles(), QStringList());
        // Ended all the same, once asked and left its time.
        QTRY_COMPARE_WITH_TIMEOUT(access.state(), QProcess::NotRunning, 10000);
    }

    // A morning of logons against one target: every run ends with the whole release in place and
    // nothing left beside it.
    void fourRunsAtOnce() {
        QVERIFY(files_.reset(patternBytes(8 << 20), QByteArray("the old version")));
        std::list<QProcess> runs(4);
        for (QProcess& process : runs)
            start(process, paths());
        for (QProcess& process : runs) {
            const Outcome outcome = finish(process);
            QCOMPARE(outcome.exitCode, 0);
            QVERIFY2(outcome.out.startsWith("updated "), qPrintable(outcome.err));
        }
        QCOMPARE(readFile(files_.target), files_.newBytes);
        QCOMPARE(files_.stagingFiles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestTarselCopy)
#include "test_tarselcopy.moc"
