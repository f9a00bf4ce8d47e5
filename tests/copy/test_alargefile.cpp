#include "copy/ALargeFile.h"
#include "copy/CopyWithProgress.h"
#include "copy/ReleaseRun.h"
#include "copy/StretchCopy.h"
#include "support/ErrorOf.h"
#include "support/FakeCopyHost.h"
#include "support/FakeRunObserver.h"
#include "support/FileFixtures.h"
#include "support/ReleaseFixture.h"
#include "support/StagedCopy.h"

#include <QtTest>

#include <optional>

using namespace tarsel;
using namespace tarsel::test;

class TestALargeFile : public QObject, InTempFolder {
    Q_OBJECT

    QString source;

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // Sparse: the file system stores none of its 2 GiB.
        source = path("it's large.bin");
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(LargeFileSize));
    }

    void cleanup() { QFile::remove(path("target")); }

    void asksBeforeAPlainCopy_data() {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("error");      // the run-time number the copy stops with; 0: none
        QTest::addColumn<bool>("wholeCopy"); // the failure is the whole-file copy's own
        QTest::newRow("no") << false << runTimeNumberOf(ErrorKind::DeviceIO) << false;
        QTest::newRow("yes, past the file size limit")
            << true << runTimeNumberOf(ErrorKind::DiskFull) << true;
        QTest::newRow("yes") << true << 0 << false;
    }

    void asksBeforeAPlainCopy() {
        QFETCH(bool, answer);
        QFETCH(int, error);
        QFETCH(bool, wholeCopy);
        if (const QString why = missing(Facility::CheapCopy, dir.path());
            error == 0 && !why.isEmpty())
            QSKIP(qPrintable("A plain copy of 2 GiB would write 2 GiB, too slow for a unit test: " +
                             why));
        if (const QString why = missing(Facility::FileSizeLimit); wholeCopy && !why.isEmpty())
            QSKIP(qPrintable(why));
        FakeCopyHost host;
        host.wholeFileAnswer = answer;
        std::optional<RunStage> stage;
        int number = 0;
        {
            std::optional<FileSizeLimit> limit;
            if (wholeCopy)
                limit.emplace(1 << 20);
            try {
                StagedCopy staged(source, path("target"));
                CopyWithProgress(staged.release(), staged.staging().file(), 32767, host);
                staged.staging().commit(host);
            } catch (const RunFailure& failure) {
                stage = failure.stage();
                number = failure.number();
            } catch (const RunTimeError& e) {
                number = e.number();
            }
        }

        QCOMPARE(host.wholeFileAsked, QStringList{source});
        QCOMPARE(number, error);
        QCOMPARE(stage.has_value(), wholeCopy);
        if (stage)
            QCOMPARE(*stage, RunStage::WholeCopy);
        QCOMPARE(host.progress, QList<double>{0});
        if (error == 0)
            QCOMPARE(QFileInfo(path("target")).size(), LargeFileSize);
        QCOMPARE(QFileInfo::exists(path("target")), error == 0);
    }

    // A release of 2 GiB is flushed and verified before it goes into service, like any other.
    void aLargeReleaseIsVerifiedBeforeTheSwap() {
        if (const QString why = missing(Facility::LargeFileInMemory); !why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir memory(memoryFolder() + "/tarsel-large-XXXXXX");
        QVERIFY(memory.isValid());
        const QString release = memory.filePath("release.mdb");
        const QString target = memory.filePath("app.mdb");
        {
            QFile file(release);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(LargeFileSize));
            QVERIFY(file.seek(LargeFileSize - 5) && file.write("tail.") == 5);
        }
        QVERIFY(writeFile(target, "the old version"));
        FakeRunObserver observer;
        const RunResult result = runRelease(
            ReleaseRequest{release, target, true, QDateTime::currentDateTime()}, observer);

        QCOMPARE(result.bytes, LargeFileSize);
        QCOMPARE(observer.phases,
                 QList<RunPhase>({RunPhase::Copying, RunPhase::Copied, RunPhase::Verifying}));
        QCOMPARE(observer.progress.last(), 0.0);
        QCOMPARE(QFileInfo(target).size(), LargeFileSize + 0);
        QFile copy(target);
        QVERIFY(copy.open(QIODevice::ReadOnly) && copy.seek(LargeFileSize - 5));
        QCOMPARE(copy.read(5), QByteArray("tail."));
        QCOMPARE(ReleaseFixture::stagingFilesIn(memory.path()), QStringList());
    }

    // The whole-file copy of a file of any length (the run offers it only from 2 GiB on): each
    // stretch is followed by a yield, so a cancel stops it within a stretch, and a failure keeps
    // its cause.
    void plainCopy_data() {
        QTest::addColumn<int>("cancelAtYield"); // 0: never
        QTest::addColumn<qint64>("sizeLimit");  // -1: none
        QTest::addColumn<int>("error");
        QTest::addColumn<qint64>("written"); // the target's length afterwards
        const qint64 size = 3 * StretchSize + 5;
        QTest::newRow("copied") << 0 << qint64(-1) << 0 << size;
        QTest::newRow("cancelled at the first yield")
            << 1 << qint64(-1) << runTimeNumberOf(ErrorKind::UserInterrupt) << StretchSize;
        QTest::newRow("past the file size limit")
            << 0 << StretchSize + 4096 << runTimeNumberOf(ErrorKind::DiskFull)
            << StretchSize + 4096;
    }

    void plainCopy() {
        QFETCH(int, cancelAtYield);
        QFETCH(qint64, sizeLimit);
        QFETCH(int, error);
        QFETCH(qint64, written);
        if (const QString why = missing(Facility::FileSizeLimit); sizeLimit >= 0 && !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString small = path("small");
        QVERIFY(writeFile(small, patternBytes(3 * StretchSize + 5)));
        FakeCopyHost host;
        host.onYield = [&](int n) { host.cancel = n == cancelAtYield; };
        std::optional<RunStage> stage;
        qint64 length = -1;
        const int number = errorOf([&] {
            std::optional<FileSizeLimit> limit;
            if (sizeLimit >= 0)
                limit.emplace(sizeLimit);
            StagedCopy staged(small, path("target"));
            const platform::OpenFile& out = staged.staging().file();
            try {
                QVERIFY(ALargeFile(staged.release(), out, host));
                length = platform::lengthOf(out);
                QCOMPARE(staged.written(), readFile(small));
            } catch (const RunFailure& failure) {
                stage = failure.stage();
                length = platform::lengthOf(out);
                throw;
            } catch (const RunTimeError&) {
                length = platform::lengthOf(out);
                throw;
            }
        });
        QCOMPARE(number, error);
        QCOMPARE(length, written);
        QCOMPARE(host.progress, QList<double>());
        QCOMPARE(stage.has_value(), error == runTimeNumberOf(ErrorKind::DiskFull));
        if (stage)
            QCOMPARE(*stage, RunStage::WholeCopy);
    }
};

QTEST_GUILESS_MAIN(TestALargeFile)
#include "test_alargefile.moc"
