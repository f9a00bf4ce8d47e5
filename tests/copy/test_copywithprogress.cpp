#include "copy/CopyWithProgress.h"
#include "copy/Percent.h"
#include "copy/StretchCopy.h"
#include "support/ErrorOf.h"
#include "support/FakeCopyHost.h"
#include "support/FileFixtures.h"
#include "support/ReleaseFixture.h"
#include "support/StagedCopy.h"

#include <QtTest>

#include <optional>

using namespace tarsel;
using namespace tarsel::test;

namespace {
constexpr qint32 BlockSize = 32767;

// The bar's values for a source of `size` bytes: 0, one after every full block, 100.
QList<double> progressFor(qint64 size) {
    QList<double> values{0};
    const qint64 blocks = size / BlockSize;
    for (qint64 i = 1; i <= blocks; ++i)
        values << wholePercent(double(i) / double(blocks) * 100.0);
    return values << 100;
}
} // namespace

class TestCopyWithProgress : public QObject, InTempFolder {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(writeFile(path("source"), patternBytes(3 * BlockSize + 5)));
        QVERIFY(makeNonFiles(dir.path()));
    }

    void cleanup() { QFile::remove(path("target")); }

    // `elsewhere`: the source on another file system, where the system may not copy between the
    // two and the bytes go through the buffer.
    void copiesInBlocks_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QList<double>>("progress");
        QTest::addColumn<bool>("elsewhere");
        QTest::newRow("empty") << qint64(0) << QList<double>{0, 100} << false;
        QTest::newRow("100 bytes") << qint64(100) << QList<double>{0, 100} << false;
        QTest::newRow("one block") << qint64(BlockSize) << QList<double>{0, 100, 100} << false;
        QTest::newRow("one block and a byte")
            << qint64(BlockSize + 1) << QList<double>{0, 100, 100} << false;
        QTest::newRow("eight blocks")
            << qint64(8 * BlockSize) << QList<double>{0, 12, 25, 38, 50, 62, 75, 88, 100, 100}
            << false;
        QTest::newRow("three blocks and a remainder")
            << qint64(3 * BlockSize + 5) << QList<double>{0, 33, 67, 100, 100} << false;
        // The bytes go a stretch at a time, through the buffer in pieces of whole pages: lengths
        // around a page, a piece and a stretch.
        for (const qint64 size :
             {qint64(1), WritePage - 1, WritePage, WritePage + 1, BufferedPiece - 1, BufferedPiece,
              BufferedPiece + 1, StretchSize - 1, StretchSize, StretchSize + 1,
              2 * StretchSize + BlockSize + 1})
            QTest::addRow("size %lld", size) << size << progressFor(size) << false;
        for (const qint64 size : {qint64(100), BufferedPiece + 1, 2 * StretchSize + BlockSize + 1})
            QTest::addRow("size %lld from another file system", size)
                << size << progressFor(size) << true;
    }

    void copiesInBlocks() {
        QFETCH(qint64, size);
        QFETCH(QList<double>, progress);
        QFETCH(bool, elsewhere);
        std::optional<QTemporaryDir> other;
        if (elsewhere) {
            if (memoryFolder().isEmpty())
                QSKIP("no folder on a file system of its own here");
            other.emplace(memoryFolder() + "/tarsel-copy-XXXXXX");
            QVERIFY(other->isValid());
        }
        const QString source = other ? other->filePath("sized") : path("sized");
        const QByteArray bytes = patternBytes(size);
        QVERIFY(writeFile(source, bytes));
        FakeCopyHost host;
        StagedCopy staged(source, path("target"));
        QVERIFY(!staged.copy(BlockSize, host));
        QCOMPARE(staged.written(), bytes);
        QCOMPARE(host.progress, progress);
        QCOMPARE(host.yields, int(size / BlockSize) + 2);
    }

    // The copy never writes into the old version: a longer one leaves nothing of its tail.
    void replacesALongerTargetWhole() {
        QVERIFY(writeFile(path("target"), patternBytes(5 * BlockSize)));
        FakeCopyHost host;
        {
            StagedCopy staged(path("source"), path("target"));
            QVERIFY(!staged.copy(BlockSize, host));
            staged.staging().commit(host);
        }
        QCOMPARE(readFile(path("target")), readFile(path("source")));
    }

    void failsWithoutLeavingATarget_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<qint32>("blockSize");
        QTest::newRow("source missing") << "missing"
                                        << "target" << BlockSize;
        QTest::newRow("target folder missing") << "source"
                                               << "nofolder/target" << BlockSize;
        QTest::newRow("source is a FIFO") << "fifo"
                                          << "target" << BlockSize;
        QTest::newRow("source is a folder") << "folder"
                                            << "target" << BlockSize;
        QTest::newRow("block size 0") << "source"
                                      << "target" << 0;
        QTest::newRow("block size negative") << "source"
                                             << "target" << -1;
    }

    void failsWithoutLeavingATarget() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(qint32, blockSize);
        if (const QString why = missing(Facility::Fifo); source == "fifo" && !why.isEmpty())
            QSKIP(qPrintable(why));
        const qsizetype openBefore = openHandleCount();
        FakeCopyHost host;
        bool failed = false;
        // Opening a file fails by throwing, the copy by its answer.
        const int error = errorOf([&] {
            StagedCopy staged(path(source), path(target));
            failed = staged.copy(blockSize, host);
        });
        QVERIFY(error != 0 || failed);
        QCOMPARE(openHandleCount(), openBefore);
        QVERIFY(!QFileInfo::exists(path(target)));
        QCOMPARE(ReleaseFixture::stagingFilesIn(dir.path()), QStringList());
        QVERIFY(host.wholeFileAsked.isEmpty());
    }

    // `written`: the bytes that reached the file (seen through a second name made in the first
    // block's yield); a copy that stops leaves its pending bytes uncopied, and one whose source
    // was shortened takes what is left before it fails.
    void removesThePartialCopy_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("written");
        const qint64 small = 3 * BlockSize + 5;
        QTest::newRow("cancelled in a yield") << "cancel" << small << qint64(0);
        QTest::newRow("source shortened meanwhile") << "shorten" << small << qint64(1000);
        QTest::newRow("write fails part-way") << "limit" << small << qint64(2 * BlockSize);
        QTest::newRow("write fails in the first of several stretches")
            << "limit" << 2 * StretchSize + 5 << qint64(2 * BlockSize);
    }

    void removesThePartialCopy() {
        QFETCH(QString, cause);
        QFETCH(qint64, size);
        QFETCH(qint64, written);
        if (const QString why = missing(Facility::FileSizeLimit);
            cause == "limit" && !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(writeFile(path("changing"), patternBytes(size)));
        const bool canSee = missing(Facility::HardLink, dir.path()).isEmpty();
        FakeCopyHost host;
        bool seeing = false;
        bool failed = false;
        {
            StagedCopy staged(path("changing"), path("target"));
            host.onYield = [&](int n) {
                if (n == 2 && canSee)
                    seeing = makeHardLink(staged.staging().path(), path("seen"));
                if (n == 2 && cause == "cancel")
                    host.cancel = true;
                if (n == 2 && cause == "shorten")
                    QFile(path("changing")).resize(1000);
            };
            std::optional<FileSizeLimit> limit;
            if (cause == "limit")
                limit.emplace(2 * BlockSize);
            failed = staged.copy(BlockSize, host);
        }
        const qint64 seen = QFileInfo(path("seen")).size();
        QFile::remove(path("changing"));
        QFile::remove(path("seen"));
        QVERIFY(failed);
        QVERIFY(!QFileInfo::exists(path("target")));
        QCOMPARE(ReleaseFixture::stagingFilesIn(dir.path()), QStringList());
        QVERIFY(!host.progress.contains(100));
        if (canSee) {
            QVERIFY(seeing);
            QCOMPARE(seen, written);
        }
    }
};

QTEST_GUILESS_MAIN(TestCopyWithProgress)
#include "test_copywithprogress.moc"
