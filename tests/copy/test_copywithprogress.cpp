#include "copy/CopyWithProgress.h"
#include "copy/Percent.h"
#include "copy/StretchCopy.h"
#include "support/FakeCopyHost.h"
#include "support/FileFixtures.h"

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
        QVERIFY(!CopyWithProgress(source, path("target"), BlockSize, host));
        QCOMPARE(readFile(path("target")), bytes);
        QCOMPARE(host.progress, progress);
        QCOMPARE(host.yields, int(size / BlockSize) + 2);
    }

    void emptiesATargetThatIsStillThere() {
        QVERIFY(writeFile(path("target"), patternBytes(5 * BlockSize)));
        FakeCopyHost host;
        QVERIFY(!CopyWithProgress(path("source"), path("target"), BlockSize, host));
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
        QTest::newRow("target is a folder") << "source"
                                            << "folder" << BlockSize;
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
        QVERIFY(CopyWithProgress(path(source), path(target), blockSize, host));
        QCOMPARE(openHandleCount(), openBefore);
        if (target != "folder")
            QVERIFY(!QFileInfo::exists(path(target)));
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
        host.onYield = [&](int n) {
            if (n == 2 && canSee)
                seeing = makeHardLink(path("target"), path("seen"));
            if (n == 2 && cause == "cancel")
                host.cancel = true;
            if (n == 2 && cause == "shorten")
                QFile(path("changing")).resize(1000);
        };
        std::optional<FileSizeLimit> limit;
        if (cause == "limit")
            limit.emplace(2 * BlockSize);
        const bool failed = CopyWithProgress(path("changing"), path("target"), BlockSize, host);
        limit.reset();
        const qint64 seen = QFileInfo(path("seen")).size();
        QFile::remove(path("changing"));
        QFile::remove(path("seen"));
        QVERIFY(failed);
        QVERIFY(!QFileInfo::exists(path("target")));
        QVERIFY(!host.progress.contains(100));
        if (canSee) {
            QVERIFY(seeing);
            QCOMPARE(seen, written);
        }
    }

    void neverCopiesAFileOntoItself_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("same path") << "source";
        QTest::newRow("hard link") << "link";
    }

    void neverCopiesAFileOntoItself() {
        QFETCH(QString, target);
        if (const QString why = missing(Facility::HardLink, dir.path());
            target == "link" && !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(QFile::copy(path("source"), path("self")));
        if (target == "link")
            QVERIFY(makeHardLink(path("self"), path("link")));
        const QByteArray before = readFile(path("self"));
        FakeCopyHost host;
        const bool failed = CopyWithProgress(
            path("self"), path(target == "source" ? "self" : target), BlockSize, host);
        const QByteArray after = readFile(path("self"));
        QFile::remove(path("self"));
        QFile::remove(path("link"));
        QVERIFY(failed);
        QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestCopyWithProgress)
#include "test_copywithprogress.moc"
