#include "app/ReleaseWorkflow.h"
#include "scenarios/DriverProcess.h"
#include "support/ReleaseFixture.h"

#include <QCryptographicHash>
#include <QtTest>

using namespace tarsel;
using test::DriverProcess;
using test::DriverReport;
using test::Facility;
using test::missing;
using test::readFile;

namespace {

constexpr uint Nobody = 65534;
// 24 blocks and a remainder: shorter than a stretch, so the copy takes it in one go at its end.
constexpr qint64 ReleaseSize = 24 * 32767 + 17;

QString md5(const QByteArray& bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// The line the .sha256 beside a version put into service holds.
QString checksumLine(const QByteArray& bytes) {
    return QString::fromLatin1(
               QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()) +
           "  app.mdb";
}

// Pages of 4 KiB that a file of `bytes` takes on a tmpfs.
constexpr qint64 pages(qint64 bytes) {
    return (bytes + 4095) / 4096 * 4096;
}

bool chownTree(const QString& path, uint uid) {
    if (!test::changeOwner(path, uid))
        return false;
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                           QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries)
        if (entry.isDir() ? !chownTree(entry.filePath(), uid)
                          : !test::changeOwner(entry.filePath(), uid))
            return false;
    return true;
}

// Why `tool` cannot serve here; empty when it can.
QString unavailable(const QString& tool) {
    if (tool == "strace")
        return missing(Facility::SystemCallFaults);
    if (QStandardPaths::findExecutable(tool).isEmpty())
        return tool + " is not installed (Debian package: util-linux)";
    return QString();
}

} // namespace

// The real window in a process of its own (tests/scenarios/driver), for faults that only the
// system can cause: failing system calls, a full disk, another user, a kill.
class TestProcessFaults : public QObject {
    Q_OBJECT

    test::ReleaseFixture files_;

    QString configFolder() const { return files_.root() + "/config"; }

    // Runs the driver on the fixture's two paths to its end.
    std::optional<DriverReport> runDriver(DriverProcess& driver, const QStringList& wrapper,
                                          const QStringList& options = {}) {
        driver.run(wrapper, options + QStringList{files_.source, files_.target});
        return driver.finish();
    }

    // What every run must leave: the expected release at the target, whole, with the old version's
    // .sha256 where the old version stays and never beside the new one, and no staging file; a
    // run that did not end the program leaves a window that still answers. A run on a tmpfs of its
    // own changed nothing outside it.
    void expectOutcome(const DriverReport& report, const QString& label2, bool newInService,
                       bool onTmpfs = false) {
        const QByteArray& expected = newInService ? files_.newBytes : files_.oldBytes;
        QCOMPARE(report.label2, label2);
        QCOMPARE(report.ended, newInService);
        QCOMPARE(report.target, md5(expected));
        if (newInService)
            QVERIFY2(report.checksum == "missing" || report.checksum == checksumLine(expected),
                     qPrintable(report.checksum));
        else
            QCOMPARE(report.checksum, checksumLine(expected));
        QCOMPARE(report.staging, 0);
        if (!newInService)
            QVERIFY(report.answers);
        QCOMPARE(readFile(files_.target), onTmpfs ? files_.oldBytes : expected);
        QCOMPARE(files_.stagingFiles(), QStringList());
    }

private slots:
    void init() {
        if (const QString why = missing(Facility::ScenarioDriver); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(files_.reset(test::patternBytes(ReleaseSize), QByteArray(5000, 'o')));
        QVERIFY(test::writeFile(files_.target + ".sha256",
                                checksumLine(files_.oldBytes).toLatin1() + '\n'));
        QVERIFY(QDir().mkpath(configFolder()) &&
                QFile::setPermissions(configFolder(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY2(QFileInfo::exists(DriverProcess::program()),
                 "the driver is missing: build the project first");
    }

    void injectedFaults_data() {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("wrapper"); // {source} and {live} stand for the two places
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("label2");
        QTest::addColumn<bool>("newInService");

        const QStringList strace{"strace", "-qq", "-o", "/dev/null"};
        const QString copyError = CopyErrorText + "app.mdb";
        QTest::newRow("disk full during the copy")
            << "" << QStringList() << QStringList{"--tmpfs", "262144"} << copyError << false;
        QTest::newRow("short write, then the file size limit")
            << "prlimit" << QStringList{"prlimit", "--fsize=100000"} << QStringList() << copyError
            << false;
        // The system copies the release within the one file system, in a single call; where it
        // fails, the buffer tries again, and names the file at fault.
        QTest::newRow("I/O error on a write")
            << "strace" << strace + QStringList{"-e", "trace=copy_file_range,pwrite64",
                                                "-e", "inject=copy_file_range:error=EIO:when=1",
                                                "-e", "inject=pwrite64:error=EIO:when=1"}
            << QStringList() << copyError << false;
        QTest::newRow("the system's copy fails once, the buffer copies")
            << "strace"
            << strace + QStringList{"-e", "trace=copy_file_range", "-e",
                                    "inject=copy_file_range:error=EIO:when=1"}
            << QStringList() << SuccessText << true;
        // A sandbox (a container's seccomp filter, systemd's SystemCallFilter) forbids the call;
        // some file systems want their own reads (EBADF): cp copies through a buffer then.
        QTest::newRow("the system's copy forbidden (EPERM)")
            << "strace"
            << strace + QStringList{"-e", "trace=copy_file_range", "-e",
                                    "inject=copy_file_range:error=EPERM"}
            << QStringList() << SuccessText << true;
        QTest::newRow("the system's copy refused (EBADF)")
            << "strace"
            << strace + QStringList{"-e", "trace=copy_file_range", "-e",
                                    "inject=copy_file_range:error=EBADF"}
            << QStringList() << SuccessText << true;
        // NFSv3 without its lock service: the staging file's lock only guards the clean-up.
        QTest::newRow("no locks on the file system (ENOLCK)")
            << "strace"
            << strace + QStringList{"-e", "trace=flock", "-e", "inject=flock:error=ENOLCK"}
            << QStringList() << SuccessText << true;
        QTest::newRow("a write that claims success but writes nothing")
            << "strace"
            << strace + QStringList{"-e", "trace=copy_file_range", "-e",
                                    "inject=copy_file_range:retval=" +
                                        QString::number(ReleaseSize) + ":when=1"}
            << QStringList() << VerifyFailedText << false;
        // Where the system cannot copy between the two files, the copy reads the release in
        // pieces of 256 KiB: the third of four reads fails.
        QTest::newRow("I/O error on a read of the release, copied through the buffer")
            << "strace" << strace + QStringList{"-P", "{source}",
                                                "-e", "trace=pread64,copy_file_range",
                                                "-e", "inject=copy_file_range:error=EXDEV",
                                                "-e", "inject=pread64:error=EIO:when=3"}
            << QStringList() << copyError << false;
        // The system copy reads nothing of the release through the program: its first read is the
        // verification's, of the first stretch.
        QTest::newRow("I/O error on a read during the verification")
            << "strace" << strace + QStringList{"-P", "{source}",
                                                "-e", "trace=pread64",
                                                "-e", "inject=pread64:error=EIO:when=1"}
            << QStringList() << VerifyFailedText << false;
        QTest::newRow("I/O error on flushing the copy")
            << "strace"
            << strace + QStringList{"-e", "trace=fsync", "-e", "inject=fsync:error=EIO:when=1"}
            << QStringList() << VerifyFailedText << false;
        // A full disk that shows only when the copy is flushed (NFS, SMB, quotas) is the copy's.
        QTest::newRow("disk full on flushing the copy (fsync)")
            << "strace"
            << strace + QStringList{"-e", "trace=fsync", "-e", "inject=fsync:error=ENOSPC:when=1"}
            << QStringList() << copyError << false;
        QTest::newRow("quota exceeded on flushing the copy (sync_file_range)")
            << "strace"
            << strace + QStringList{"-e", "trace=sync_file_range", "-e",
                                    "inject=sync_file_range:error=EDQUOT"}
            << QStringList() << copyError << false;
        // The copy takes the last free page while a desk still reads the old version, whose pages
        // stay taken: no room is left for the new .sha256, and the old one must not stay.
        QTest::newRow("no room for the checksum, the old version still read")
            << "" << QStringList()
            << QStringList{"--tmpfs", QString::number(pages(ReleaseSize) + pages(5000) + pages(75)),
                           "--hold"}
            << SuccessText << true;
        QTest::newRow("I/O error on flushing the folder after the move")
            << "strace" << strace + QStringList{"-P",          "{live}", "-e",
                                                "trace=fsync", "-e",     "inject=fsync:error=EIO"}
            << QStringList() << SuccessText << true;
    }

    void injectedFaults() {
        QFETCH(QString, tool);
        QFETCH(QStringList, wrapper);
        QFETCH(QStringList, options);
        QFETCH(QString, label2);
        QFETCH(bool, newInService);
        if (const QString why = tool.isEmpty() ? QString() : unavailable(tool); !why.isEmpty())
            QSKIP(qPrintable(why));
        wrapper.replaceInStrings("{source}", files_.source);
        wrapper.replaceInStrings("{live}", files_.liveFolder());

        DriverProcess driver(configFolder());
        const auto report = runDriver(driver, wrapper, options);
        QVERIFY2(report, qPrintable(driver.errors()));
        if (!report->skip.isEmpty())
            QSKIP(qPrintable(report->skip));
        QVERIFY2(report->pid, qPrintable("the driver did not start: " + driver.errors()));
        QCOMPARE(report->boxes, QStringList());
        expectOutcome(*report, label2, newInService, options.contains("--tmpfs"));
    }

    // As another user (nobody, when the tests run as root): rename replaces a read-only file in a
    // folder that user may write, and nothing can be put into a folder that user may not.
    void permissionsOfAnotherUser_data() {
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<QString>("label2");
        QTest::newRow("read-only target") << false << SuccessText;
        QTest::newRow("read-only folder") << true << CopyErrorText + "app.mdb";
    }

    void permissionsOfAnotherUser() {
        QFETCH(bool, readOnlyFolder);
        QFETCH(QString, label2);
        QStringList wrapper;
        if (test::runsAsRoot()) {
            if (const QString why = unavailable("setpriv"); !why.isEmpty())
                QSKIP(qPrintable(why));
            const QString uid = QString::number(Nobody);
            wrapper = {"setpriv", "--reuid=" + uid, "--regid=" + uid, "--clear-groups"};
            QVERIFY(QFile::setPermissions(files_.root(), QFile::ReadOwner | QFile::WriteOwner |
                                                             QFile::ExeOwner | QFile::ReadOther |
                                                             QFile::ExeOther));
            QVERIFY(chownTree(files_.liveFolder(), Nobody) && chownTree(configFolder(), Nobody));
        }
        const auto readOnly =
            QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(readOnlyFolder ? QFile::setPermissions(files_.liveFolder(), readOnly)
                               : QFile::setPermissions(files_.target, QFile::ReadOwner));

        DriverProcess driver(configFolder());
        const auto report = runDriver(driver, wrapper);
        QFile::setPermissions(files_.liveFolder(), readOnly | QFile::WriteOwner);
        QVERIFY2(report && report->pid, qPrintable(driver.errors()));
        QCOMPARE(report->boxes, QStringList());
        expectOutcome(*report, label2, !readOnlyFolder);
    }

    // Killed mid-copy, the program leaves the old release as it was, read-only bit and all, and a
    // staging file; a run after the orphan's quiet time removes it and puts the release in service,
    // also where the file system keeps no locks (ENOLCK: NFS without its lock service), by the
    // age rule alone.
    void killedDuringTheCopy_data() {
        QTest::addColumn<QStringList>("nextRun"); // the command that wraps the next run
        QTest::newRow("the next run") << QStringList();
        QTest::newRow("the next run, without locks")
            << QStringList{"strace", "-qq",         "-o", "/dev/null",
                           "-e",     "trace=flock", "-e", "inject=flock:error=ENOLCK"};
    }

    void killedDuringTheCopy() {
        QFETCH(QStringList, nextRun);
        // strace slows the copy down.
        if (const QString why = unavailable("strace"); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(QFile::setPermissions(files_.target, QFile::ReadOwner));
        {
            DriverProcess driver(configFolder());
            // 20 ms for every read of the release: the copy takes half a second at least.
            driver.run({"strace", "-qq", "-o", "/dev/null", "-P", files_.source, "-e",
                        "trace=pread64", "-e", "inject=pread64:delay_enter=20000"},
                       {files_.source, files_.target});
            const qint64 pid = driver.driverPid();
            QVERIFY2(pid, qPrintable(driver.errors()));
            QTRY_VERIFY_WITH_TIMEOUT(!files_.stagingFiles().isEmpty(), 20000);
            QVERIFY(test::killNow(pid));
            QVERIFY(driver.waitForFinished(20000));
        }
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QCOMPARE(QFile::permissions(files_.target) & QFile::WriteOwner, QFile::Permissions());
        QCOMPARE(files_.stagingFiles().size(), 1);
        QVERIFY(test::untouchedForLong(files_.liveFolder() + '/' + files_.stagingFiles().first()));

        DriverProcess next(configFolder());
        const auto report = runDriver(next, nextRun);
        QVERIFY2(report, qPrintable(next.errors()));
        expectOutcome(*report, SuccessText, true);
    }
};

QTEST_GUILESS_MAIN(TestProcessFaults)
#include "test_process_faults.moc"
