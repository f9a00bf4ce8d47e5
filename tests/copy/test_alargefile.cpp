#include "copy/ALargeFile.h"
#include "copy/CopyWithProgress.h"
#include "copy/ReleaseRun.h"
#include "support/FakeCopyHost.h"
#include "support/FakeRunObserver.h"
#include "support/FileFixtures.h"
#include "support/ReleaseFixture.h"

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
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<QString>("report"); // how the error report begins; empty: none
        QTest::newRow("no") << int(MsgAnswer::No) << "target" << true << QString();
        QTest::newRow("yes, past the file size limit")
            << int(MsgAnswer::Yes) << "target" << true << QStringLiteral("Error 61 (");
        QTest::newRow("yes") << int(MsgAnswer::Yes) << "target" << false << QString();
    }

    void asksBeforeAPlainCopy() {
        QFETCH(int, answer);
        QFETCH(QString, target);
        QFETCH(bool, failed);
        QFETCH(QString, report);
        if (const QString why = missing(Facility::CheapCopy, dir.path()); !failed && !why.isEmpty())
            QSKIP(qPrintable("A plain copy of 2 GiB would write 2 GiB, too slow for a unit test: " +
                             why));
        if (const QString why = missing(Facility::FileSizeLimit);
            !report.isEmpty() && !why.isEmpty())
            QSKIP(qPrintable(why));
        FakeCopyHost host;
        host.fakeDialogs.msgBoxAnswer = answer;
        {
            std::optional<FileSizeLimit> limit;
            if (!report.isEmpty())
                limit.emplace(1 << 20);
            QCOMPARE(CopyWithProgress(source, path(target), 32767, host), failed);
        }

        const auto& boxes = host.fakeDialogs.boxes;
        QVERIFY(!boxes.isEmpty());
        QCOMPARE(boxes[0].prompt, "The file '" + source + "' is too large for this function.\r" +
                                      "Would you like to perform a regular file copy?\r" +
                                      "(The Progress Bar will not show the file copy)");
        QCOMPARE(boxes[0].title, "F I L E    T O O    L A R G E");
        QCOMPARE(boxes[0].style, 276);
        QCOMPARE(host.progress, QList<double>{0});
        if (!failed)
            QCOMPARE(QFileInfo(path(target)).size(), LargeFileSize);
        QCOMPARE(QFileInfo::exists(path(target)), !failed);
        QCOMPARE(boxes.size(), report.isEmpty() ? 1 : 2);
        if (!report.isEmpty()) {
            QVERIFY2(boxes[1].prompt.startsWith(report), qPrintable(boxes[1].prompt));
            QVERIFY(
                boxes[1].prompt.endsWith(") in procedure\r\n(ALargeFile) of (frmCopyRoutine)."));
            QCOMPARE(boxes[1].style, 16);
            QCOMPARE(boxes[1].title, QString());
        }
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
        observer.fakeDialogs.msgBoxAnswer = MsgAnswer::Yes;
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

    void removesWhatAFailedPlainCopyWrote() {
        if (const QString why = missing(Facility::FileSizeLimit); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString small = path("small");
        QVERIFY(writeFile(small, patternBytes(200000)));
        FakeCopyHost host;
        host.fakeDialogs.msgBoxAnswer = MsgAnswer::Yes;
        {
            FileSizeLimit limit(100000);
            const platform::OpenFile source = platform::openForReading(small);
            QVERIFY(!ALargeFile(source, platform::CopyTarget(source, path("target")).file(), host));
        }
        QVERIFY(!QFileInfo::exists(path("target")));
        QCOMPARE(host.fakeDialogs.boxes.size(), 2);
        QVERIFY(host.fakeDialogs.boxes[1].prompt.startsWith("Error 61 ("));
    }
};

QTEST_GUILESS_MAIN(TestALargeFile)
#include "test_alargefile.moc"
