#include "copy/ReleaseRun.h"
#include "support/FakeRunObserver.h"
#include "support/FileFixtures.h"
#include "support/ReleaseFixture.h"

#include <QtTest>

#include <optional>

using namespace tarsel;
using namespace tarsel::test;

class TestReleaseRun : public QObject, InTempFolder {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(writeFile(path("release"), patternBytes(3 * 32767 + 5)));
        QVERIFY(makeNonFiles(dir.path()));
    }

    // The release under any of its names, and whatever is no file, is refused before anything is
    // written: the release keeps its bytes and the target stays where it was.
    void refusesWhatItMustNotReplace_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("sameFile"); // refused as the release itself, else as no file
        QTest::newRow("the release itself") << "release" << true;
        QTest::newRow("a hard link to it") << "hard link" << true;
        QTest::newRow("a symbolic link to it") << "symbolic link" << true;
        QTest::newRow("a folder") << "folder" << false;
        QTest::newRow("a FIFO") << "fifo" << false;
    }

    void refusesWhatItMustNotReplace() {
        QFETCH(QString, target);
        QFETCH(bool, sameFile);
        if (const QString why = missing(Facility::Fifo); target == "fifo" && !why.isEmpty())
            QSKIP(qPrintable(why));
        if (const QString why = missing(Facility::HardLink, dir.path());
            target == "hard link" && !why.isEmpty())
            QSKIP(qPrintable(why));
        if (const QString why = missing(Facility::SymbolicLink, dir.path());
            target == "symbolic link" && !why.isEmpty())
            QSKIP(qPrintable(why));
        if (target == "hard link")
            QVERIFY(makeHardLink(path("release"), path(target)));
        if (target == "symbolic link")
            QVERIFY(makeSymbolicLink(path("release"), path(target)));
        const QByteArray before = readFile(path("release"));
        FakeRunObserver observer;
        std::optional<RunStage> stage;
        int number = 0;
        try {
            runRelease(
                ReleaseRequest{path("release"), path(target), true, QDateTime::currentDateTime()},
                observer);
        } catch (const RunFailure& failure) {
            stage = failure.stage();
            number = failure.number();
        }
        const bool targetStays = QFileInfo(path(target)).exists();
        if (target.endsWith("link"))
            QFile::remove(path(target));

        QCOMPARE(number, runTimeNumberOf(ErrorKind::PathFileAccess));
        QVERIFY(stage);
        QCOMPARE(*stage, sameFile ? RunStage::Paths : RunStage::Target);
        QCOMPARE(readFile(path("release")), before);
        QVERIFY(targetStays);
        QVERIFY(observer.progress.isEmpty());
        QCOMPARE(ReleaseFixture::stagingFilesIn(dir.path()), QStringList());
    }

    // What the request clears out of the way (tarselcopy --end-access) is cleared only for a swap
    // that follows: after the verification, the old version still in place, and never for a run
    // that fails before. A failure or a cancel meanwhile keeps the old version.
    void clearsTheWayOnlyForTheSwap_data() {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<int>("stage"); // RunStage of the failure; -1 for a release in service
        QTest::newRow("verified: cleared, then swapped") << "plain" << true << -1;
        QTest::newRow("release missing: nothing cleared")
            << "release missing" << false << int(RunStage::Release);
        QTest::newRow("not the bytes its checksum publishes: nothing cleared")
            << "checksum differs" << false << int(RunStage::Published);
        QTest::newRow("cancelled while clearing") << "cancel" << true << int(RunStage::Cancel);
        QTest::newRow("clearing fails") << "fails" << true << int(RunStage::Replace);
    }

    void clearsTheWayOnlyForTheSwap() {
        QFETCH(QString, situation);
        QFETCH(bool, cleared);
        QFETCH(int, stage);
        const QString release = path("clear/release.accdb");
        const QString target = path("clear/sales.accdb");
        QVERIFY(QDir().mkpath(path("clear")));
        QFile::remove(release + ".sha256");
        QVERIFY(writeFile(release, patternBytes(2 * 32767 + 9)));
        QVERIFY(writeFile(target, "the old version"));
        if (situation == "release missing")
            QVERIFY(QFile::remove(release));
        if (situation == "checksum differs")
            QVERIFY(writeFile(release + ".sha256", QByteArray(64, '0') + "  release.accdb\n"));
        FakeRunObserver observer;
        ReleaseRequest request{release, target};
        request.created = QDateTime::currentDateTime();
        int clears = 0;
        request.beforeSwap = [&](Yielder& yielder) {
            ++clears;
            QVERIFY(observer.phases.contains(RunPhase::Verifying));
            QCOMPARE(readFile(target), QByteArray("the old version"));
            if (situation == "cancel") {
                observer.cancel = true;
                yielder.yield();
            }
            if (situation == "fails")
                throw RunTimeError(ErrorKind::PermissionDenied, QStringLiteral("not ours"));
        };
        std::optional<RunStage> failed;
        try {
            runRelease(request, observer);
        } catch (const RunFailure& failure) {
            failed = failure.stage();
        }

        QCOMPARE(clears, cleared ? 1 : 0);
        QCOMPARE(failed ? int(*failed) : -1, stage);
        QCOMPARE(readFile(target),
                 failed ? QByteArray("the old version") : patternBytes(2 * 32767 + 9));
        QCOMPARE(ReleaseFixture::stagingFilesIn(path("clear")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestReleaseRun)
#include "test_releaserun.moc"
