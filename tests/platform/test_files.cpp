#include "platform/Files.h"
#include "platform/RunTimeError.h"
#include "support/FileFixtures.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

using namespace tarsel;
using namespace tarsel::platform;
using namespace tarsel::test;

namespace {

// The run-time error number that `action` throws, or 0 when it throws none.
template <typename Action> int errorOf(Action action) {
    try {
        action();
    } catch (const RunTimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

class TestFiles : public QObject, InTempFolder {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(writeFile(path("source"), patternBytes(3 << 20)));
        QVERIFY(makeNonFiles(dir.path()));
        QVERIFY(QFile::link(path("source"), path("symlink")));
    }

    void cleanup() { QFile::remove(path("target")); }

    void readsOnlyRegularFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("error");
        QTest::newRow("regular file") << path("source") << 0;
        QTest::newRow("missing") << path("missing") << ErrNo::FileNotFound;
        QTest::newRow("folder") << path("folder") << ErrNo::PathFileAccess;
        QTest::newRow("FIFO without a writer") << path("fifo") << ErrNo::PathFileAccess;
        QTest::newRow("device") << "/dev/null" << ErrNo::PathFileAccess;
    }

    void readsOnlyRegularFiles() {
        QFETCH(QString, file);
        QFETCH(int, error);
        const qsizetype openBefore = openHandleCount();
        QCOMPARE(errorOf([&] { openForReading(file); }), error);
        QCOMPARE(openHandleCount(), openBefore);
    }

    void readAtStopsAtTheEnd() {
        QVERIFY(writeFile(path("ten"), "0123456789"));
        const OpenFile file = openForReading(path("ten"));
        char buffer[20];
        QCOMPARE(readAt(file, buffer, 20, 4), qint64(6));
        QCOMPARE(QByteArray(buffer, 6), QByteArray("456789"));
        QCOMPARE(readAt(file, buffer, 5, 10), qint64(0));
    }

    void copyTargetIsRemovedUnlessFinished_data() {
        QTest::addColumn<bool>("finish");
        QTest::newRow("finished") << true;
        QTest::newRow("abandoned") << false;
    }

    void copyTargetIsRemovedUnlessFinished() {
        QFETCH(bool, finish);
        QVERIFY(writeFile(path("target"), "old content, longer than the new"));
        {
            const OpenFile source = openForReading(path("source"));
            CopyTarget target(source, path("target"));
            writeAt(target.file(), "new", 3, 0);
            if (finish)
                target.finish();
        }
        QCOMPARE(readFile(path("target")), finish ? QByteArray("new") : QByteArray());
        QCOMPARE(QFileInfo::exists(path("target")), finish);
    }

    // The room is taken before the first write, yet the file shows only what was written: a copy
    // cut short must not look as long as its source.
    void copyTargetReservesTheSourcesLengthUpFront() {
        const OpenFile source = openForReading(path("source"));
        CopyTarget target(source, path("target"));
        struct stat st {};
        QCOMPARE(::fstat(int(target.file().handle()), &st), 0);
        if (st.st_blocks == 0 && ::fallocate(int(target.file().handle()), 0, 0, 1) != 0 &&
            errno == EOPNOTSUPP)
            QSKIP("the temporary folder's file system cannot reserve room");
        QCOMPARE(st.st_size, 0);
        QVERIFY(qint64(st.st_blocks) * 512 >= lengthOf(source));
    }

    void copyTargetRefusesWhatItMustNotEmpty_data() {
        QTest::addColumn<QString>("target");
        QTest::newRow("the source itself") << path("source");
        QTest::newRow("a symbolic link to it") << path("symlink");
        QTest::newRow("a folder") << path("folder");
        QTest::newRow("a FIFO") << path("fifo");
    }

    void copyTargetRefusesWhatItMustNotEmpty() {
        QFETCH(QString, target);
        const QByteArray before = readFile(path("source"));
        const OpenFile source = openForReading(path("source"));
        QCOMPARE(errorOf([&] { CopyTarget refused(source, target); }), ErrNo::PathFileAccess);
        QCOMPARE(readFile(path("source")), before);
        QVERIFY(QFileInfo(target).exists());
    }

    void copiesWholeFiles_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<rlim_t>("sizeLimit");
        QTest::addColumn<int>("error");
        QTest::newRow("copied") << path("target") << RLIM_INFINITY << 0;
        QTest::newRow("disk full") << path("target") << rlim_t(1 << 20) << ErrNo::DiskFull;
        QTest::newRow("folder missing")
            << path("nofolder/target") << RLIM_INFINITY << ErrNo::FileNotFound;
    }

    void copiesWholeFiles() {
        QFETCH(QString, target);
        QFETCH(rlim_t, sizeLimit);
        QFETCH(int, error);
        {
            FileSizeLimit limit(sizeLimit);
            QCOMPARE(errorOf([&] { copyWholeFile(path("source"), target); }), error);
        }
        if (error == 0)
            QCOMPARE(readFile(target), readFile(path("source")));
        else
            QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
