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
};

QTEST_GUILESS_MAIN(TestReleaseRun)
#include "test_releaserun.moc"
