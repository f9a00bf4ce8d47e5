#include "copy/HashingThread.h"
#include "copy/ValidateFile.h"
#include "core/RunTimeError.h"
#include "support/FakeCopyHost.h"
#include "support/FileFixtures.h"
#include "support/StagedCopy.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;
using namespace tarsel::test;

namespace {
constexpr qint32 BlockSize = 32767;

// Compares the files at two paths.
bool validate(const QString& source, const QString& copy, qint32 blockSize, CopyHost& host,
              platform::Sha256* digest = nullptr) {
    const platform::OpenFile original = platform::openForReading(source);
    const platform::OpenFile copied = platform::openForReading(copy);
    return ValidateFile(original, copied, blockSize, host, digest);
}

// The file's SHA-256 as sha256sum gives it; under Wine, which runs no Linux program, as Qt's own
// implementation gives it.
QByteArray referenceDigest(const QString& file) {
    const QString sha256sum = QStandardPaths::findExecutable("sha256sum");
    if (sha256sum.isEmpty())
        return QCryptographicHash::hash(readFile(file), QCryptographicHash::Sha256).toHex();
    QProcess run;
    run.start(sha256sum, {"-b", file});
    if (!run.waitForFinished() || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0)
        return QByteArray();
    return run.readAllStandardOutput().left(64);
}

constexpr qint64 MiB = 1 << 20;
// What a staging file's copy is written out and read back in, on Linux.
constexpr qint64 Slice = 8 * MiB;
} // namespace

class TestValidateFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString source, copy;

    // Source and copy of `size` bytes; the copy's byte at `flip` is changed, or one byte added
    // when `flip` is the size.
    bool makePair(qint64 size, qint64 flip = -1) {
        QByteArray bytes = patternBytes(size);
        if (!writeFile(source, bytes))
            return false;
        if (flip == size)
            bytes.append('x');
        else if (flip >= 0)
            bytes[flip] = char(bytes[flip] ^ 1);
        return writeFile(copy, bytes);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        source = dir.filePath("source");
        copy = dir.filePath("copy");
    }

    void equalFiles_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QList<double>>("progress");
        QTest::newRow("empty") << qint64(0) << QList<double>{};
        QTest::newRow("100 bytes") << qint64(100) << QList<double>{};
        QTest::newRow("one block") << qint64(BlockSize) << QList<double>{0};
        QTest::newRow("two blocks") << qint64(2 * BlockSize) << QList<double>{50, 0};
        QTest::newRow("three blocks") << qint64(3 * BlockSize) << QList<double>{67, 33, 0};
        QTest::newRow("three blocks and a remainder")
            << qint64(3 * BlockSize + 5) << QList<double>{67, 33, 0};
        QTest::newRow("100,000 bytes: not whole sectors")
            << qint64(100000) << QList<double>{67, 34, 2};
    }

    void equalFiles() {
        QFETCH(qint64, size);
        QFETCH(QList<double>, progress);
        QVERIFY(makePair(size));
        FakeCopyHost host;
        QVERIFY(validate(source, copy, BlockSize, host));
        QCOMPARE(host.progress, progress);
        QCOMPARE(host.yields, progress.size());
    }

    void differentFiles_data() {
        QTest::addColumn<qint64>("flip");
        QTest::addColumn<QList<double>>("progress");
        QTest::newRow("first block") << qint64(0) << QList<double>{};
        QTest::newRow("last full block") << qint64(3 * BlockSize - 1) << QList<double>{67, 33};
        QTest::newRow("last byte") << qint64(3 * BlockSize + 4) << QList<double>{67, 33, 0};
        QTest::newRow("lengths differ") << qint64(3 * BlockSize + 5) << QList<double>{};
    }

    void differentFiles() {
        QFETCH(qint64, flip);
        QFETCH(QList<double>, progress);
        QVERIFY(makePair(3 * BlockSize + 5, flip));
        const qsizetype threadsBefore = threadCount();
        FakeCopyHost host;
        platform::Sha256 digest;
        QVERIFY(!validate(source, copy, BlockSize, host, &digest));
        QCOMPARE(host.progress, progress);
        QTRY_COMPARE(threadCount(), threadsBefore);
    }

    // The stretches go to the hashing thread in pieces that depend on where blocks cross the read
    // stretches and on how many stretches circulate: every byte must reach the digest once, in
    // order, and the thread must be gone when the answer comes.
    void digestIsSha256sums_data() {
        constexpr qint64 Queue = HashingThread::Stretches * MiB;
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint32>("blockSize");
        // Copied into a staging file and read back as storage holds it, a slice of writeback at a
        // time: every byte read only once it is there, whatever the slices' ends.
        QTest::addColumn<bool>("staged");
        QTest::newRow("empty") << qint64(0) << BlockSize << false;
        QTest::newRow("one byte") << qint64(1) << BlockSize << false;
        QTest::newRow("one block") << qint64(BlockSize) << BlockSize << false;
        QTest::newRow("one block and a byte") << qint64(BlockSize) + 1 << BlockSize << false;
        QTest::newRow("1 MiB - 1") << MiB - 1 << BlockSize << false;
        QTest::newRow("1 MiB") << MiB << BlockSize << false;
        QTest::newRow("1 MiB + 1") << MiB + 1 << BlockSize << false;
        QTest::newRow("every stretch, less a byte") << Queue - 1 << BlockSize << false;
        QTest::newRow("every stretch") << Queue << BlockSize << false;
        QTest::newRow("every stretch and a byte") << Queue + 1 << BlockSize << false;
        QTest::newRow("every stretch twice over, and a remainder")
            << 2 * Queue + 12345 << BlockSize << false;
        QTest::newRow("blocks that end where stretches do, plus one")
            << Queue + 1 << qint32(4096) << false;
        QTest::newRow("blocks longer than a stretch")
            << Queue + 100 << qint32(3 * MiB / 2 + 7) << false;
        QTest::newRow("staged, empty") << qint64(0) << BlockSize << true;
        QTest::newRow("staged, a slice less a byte") << Slice - 1 << BlockSize << true;
        QTest::newRow("staged, a slice and a byte") << Slice + 1 << BlockSize << true;
        QTest::newRow("staged, past the writeback started at first")
            << 5 * Slice + 12345 << BlockSize << true;
    }

    void digestIsSha256sums() {
        QFETCH(qint64, size);
        QFETCH(qint32, blockSize);
        QFETCH(bool, staged);
        QVERIFY(makePair(size));
        const QByteArray expected = referenceDigest(source);
        QCOMPARE(expected.size(), 64);
        const qsizetype threadsBefore = threadCount();
        FakeCopyHost host;
        platform::Sha256 digest;
        if (staged) {
            StagedCopy staging(source, dir.filePath("staged"));
            QVERIFY(!staging.copy(blockSize, host));
            QVERIFY(staging.verify(blockSize, host, &digest));
        } else {
            QVERIFY(validate(source, copy, blockSize, host, &digest));
        }
        QTRY_COMPARE(threadCount(), threadsBefore);
        QCOMPARE(digest.finish().toHex(), expected);
    }

    // The copy may be read in stretches of 1 MiB: every byte on either side of a stretch's end
    // must be compared.
    void acrossReadStretches_data() {
        constexpr qint64 MiB = 1 << 20;
        QTest::addColumn<qint64>("size");
        QTest::addColumn<qint64>("flip");
        QTest::newRow("1 MiB - 1, equal") << MiB - 1 << qint64(-1);
        QTest::newRow("1 MiB, equal") << MiB << qint64(-1);
        QTest::newRow("1 MiB + 1, equal") << MiB + 1 << qint64(-1);
        QTest::newRow("1 MiB + 1, last byte differs") << MiB + 1 << MiB;
        QTest::newRow("2 MiB + 100,000, first byte of the last stretch differs")
            << 2 * MiB + 100000 << 2 * MiB;
    }

    void acrossReadStretches() {
        QFETCH(qint64, size);
        QFETCH(qint64, flip);
        QVERIFY(makePair(size, flip));
        FakeCopyHost host;
        QCOMPARE(validate(source, copy, BlockSize, host), flip < 0);
    }

    void cancelledIsNeverEqual() {
        QVERIFY(makePair(3 * BlockSize));
        FakeCopyHost host;
        host.onYield = [&](int) { host.cancel = true; };
        QVERIFY(!validate(source, copy, BlockSize, host));
        QCOMPARE(host.progress, QList<double>{67});
    }

    // A cancel while stretches wait for the hashing thread stops and joins it.
    void cancelStopsTheHashingThread() {
        QVERIFY(makePair(3 * HashingThread::Stretches * MiB));
        const qsizetype threadsBefore = threadCount();
        qsizetype threadsWhileHashing = 0;
        FakeCopyHost host;
        const int cancelAt = int(2 * HashingThread::Stretches * MiB / BlockSize);
        host.onYield = [&](int yield) {
            if (yield == cancelAt) {
                threadsWhileHashing = threadCount();
                host.cancel = true;
            }
        };
        platform::Sha256 digest;
        QVERIFY(!validate(source, copy, BlockSize, host, &digest));
        QCOMPARE(host.yields, cancelAt);
        QCOMPARE(threadsWhileHashing, threadsBefore + 1);
        QTRY_COMPARE(threadCount(), threadsBefore);
    }

    void throwsAndClosesBothFiles_data() {
        QTest::addColumn<QString>("sourceName");
        QTest::addColumn<QString>("copyName");
        QTest::addColumn<qint32>("blockSize");
        QTest::addColumn<int>("error");
        QTest::newRow("copy missing")
            << "source"
            << "missing" << BlockSize << runTimeNumberOf(ErrorKind::FileNotFound);
        QTest::newRow("source missing")
            << "missing"
            << "copy" << BlockSize << runTimeNumberOf(ErrorKind::FileNotFound);
        QTest::newRow("copy is a folder")
            << "source"
            << "." << BlockSize << runTimeNumberOf(ErrorKind::PathFileAccess);
        QTest::newRow("block size 0") << "source"
                                      << "copy" << 0 << runTimeNumberOf(ErrorKind::DivisionByZero);
    }

    void throwsAndClosesBothFiles() {
        QFETCH(QString, sourceName);
        QFETCH(QString, copyName);
        QFETCH(qint32, blockSize);
        QFETCH(int, error);
        QVERIFY(makePair(100));
        const qsizetype openBefore = openHandleCount();
        FakeCopyHost host;
        try {
            validate(dir.filePath(sourceName), dir.filePath(copyName), blockSize, host);
            QFAIL("no error");
        } catch (const RunTimeError& e) {
            QCOMPARE(e.number(), error);
        }
        QCOMPARE(openHandleCount(), openBefore);
    }
};

QTEST_GUILESS_MAIN(TestValidateFile)
#include "test_validatefile.moc"
