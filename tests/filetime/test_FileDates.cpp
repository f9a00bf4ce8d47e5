#include "core/RunTimeError.h"
#include "filetime/PutFileDate.h"
#include "filetime/ReadFileDate.h"
#include "platform/FileTimes.h"
#include "support/DateFixtures.h"
#include "support/ScopedTimeZone.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;
using tarsel::test::Facility;
using tarsel::test::local;
using tarsel::test::missing;
using tarsel::test::ReadOnly;
using tarsel::test::ScopedTimeZone;
using tarsel::test::stamped;
using tarsel::test::ticksOf;
using tarsel::test::utc;

namespace {

// The creation time as the file keeps it, in 100 ns ticks.
quint64 creationTicks(const QString& path) {
    platform::WIN32_FIND_DATA found;
    return platform::findFirstFile(path, found) == platform::InvalidHandle
               ? 0
               : found.ftCreationTime.ticks;
}

} // namespace

class TestFileDates : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int files = 0;

    QString makeFile(const QString& folder = {}) {
        const QString path = QStringLiteral("%1/file%2.txt")
                                 .arg(folder.isEmpty() ? dir.path() : folder)
                                 .arg(++files);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("data") != 4)
            qFatal("cannot create %s", qPrintable(path));
        return path;
    }

    static void stamp(const QString& path, QFileDevice::FileTime which, const QDateTime& when) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(when, which));
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void roundTripsEachKind_data() {
        QTest::addColumn<qint32>("kind");
        QTest::addColumn<QDateTime>("date");
        QTest::newRow("created") << qint32(Created) << local(2019, 1, 2, 3, 4, 5);
        QTest::newRow("modified") << qint32(Modified) << local(2020, 7, 8, 21, 22, 23);
        QTest::newRow("accessed") << qint32(Accessed) << local(2021, 12, 31, 23, 59, 59);
        QTest::newRow("midnight") << qint32(Modified) << local(2022, 6, 1, 0, 0, 0);
    }

    // Each kind lands in its own time stamp; the other two keep what they had.
    void roundTripsEachKind() {
        QFETCH(qint32, kind);
        QFETCH(QDateTime, date);
        if (const QString why = missing(Facility::CreationTime, dir.path());
            kind == Created && !why.isEmpty())
            QSKIP(qPrintable(why));
        // Where the process cannot take this zone, the machine's serves as well.
        const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        const QString path = makeFile();
        const test::DateSnapshot before = test::dateSnapshot(path);

        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, path, kind, date)));
        QCOMPARE(ReadFileDate(records, path, kind), date);
        const test::DateSnapshot after = test::dateSnapshot(path);
        for (qint32 other : {Modified, Accessed, Created}) {
            const QDateTime test::DateSnapshot::*field =
                other == Created    ? &test::DateSnapshot::created
                : other == Modified ? &test::DateSnapshot::modified
                                    : &test::DateSnapshot::accessed;
            if (other == kind)
                continue;
            if (const QString why = missing(Facility::CreationTime, dir.path());
                other == Created && !why.isEmpty())
                QSKIP(qPrintable("all but the creation date checked: " + why));
            QCOMPARE(after.*field, before.*field);
        }
    }

    void leavesAloneWhatItCannotName_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<qint32>("kind");
        QTest::newRow("missing file") << false << qint32(Modified);
        QTest::newRow("kind 3") << true << qint32(3);
        QTest::newRow("kind -1") << true << qint32(-1);
    }

    void leavesAloneWhatItCannotName() {
        QFETCH(bool, exists);
        QFETCH(qint32, kind);
        const QString path = exists ? makeFile() : dir.filePath("absent.txt");
        if (exists)
            QVERIFY(QFile::setPermissions(path, ReadOnly));
        const test::DateSnapshot before = exists ? test::dateSnapshot(path) : test::DateSnapshot{};

        FileTimeRecords records;
        QCOMPARE(ReadFileDate(records, path, kind), local(9999, 12, 31, 0, 0, 0));
        QCOMPARE(PutFileDate(records, path, kind, local(2020, 1, 1, 0, 0, 0)), std::nullopt);
        if (!exists) {
            QCOMPARE(records.FileHandle, platform::InvalidHandle);
            QVERIFY(!QFileInfo::exists(path));
            return;
        }
        QCOMPARE(test::dateSnapshot(path), before);
        QVERIFY(test::creationRecordOf(path).isEmpty());
    }

    void stampsAReadOnlyFileAndRestoresIt() {
        const QString path = makeFile();
        QVERIFY(QFile::setPermissions(path, ReadOnly));
        const QFile::Permissions before = QFileInfo(path).permissions();
        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, path, Modified, local(2018, 5, 5, 5, 5, 5))));
        QCOMPARE(QFileInfo(path).permissions(), before);
        QVERIFY(!(before & QFile::WriteOwner));
        QCOMPARE(ReadFileDate(records, path, Modified), local(2018, 5, 5, 5, 5, 5));
    }

    // A stamp carries the milliseconds of the last date read, none before the first read; a read
    // drops them without rounding up.
    void takesMillisecondsFromTheLastRead() {
        if (const QString why = missing(Facility::CreationTime, dir.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString source = makeFile();
        const QString target = makeFile();
        stamp(source, QFileDevice::FileAccessTime, utc(2020, 3, 4, 5, 6, 7, 999));

        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, target, Created, local(2020, 1, 1, 12, 0, 0))));
        QCOMPARE(creationTicks(target) % 10'000'000, quint64(0));

        const QDateTime read = ReadFileDate(records, source, Accessed);
        QCOMPARE(read.toUTC(), utc(2020, 3, 4, 5, 6, 7));
        QCOMPARE(records.SysTime.wMilliseconds, quint16(999));
        QVERIFY(stamped(PutFileDate(records, target, Created, local(2020, 1, 1, 12, 0, 0))));
        QCOMPARE(creationTicks(target) % 10'000'000, quint64(9'990'000));
    }

    void readsTheFirstEntryAWildcardMatches() {
        const QTemporaryDir folder(dir.filePath("wild-XXXXXX"));
        const QString first = makeFile(folder.path());
        const QString second = makeFile(folder.path());
        stamp(first, QFileDevice::FileModificationTime, utc(2011, 1, 1, 0, 0, 0));
        stamp(second, QFileDevice::FileModificationTime, utc(2012, 2, 2, 0, 0, 0));
        FileTimeRecords records;
        QCOMPARE(ReadFileDate(records, folder.filePath("file*.txt"), Modified).toUTC(),
                 utc(2011, 1, 1, 0, 0, 0));
        QCOMPARE(records.FindData.cFileName, QFileInfo(first).fileName());
    }

    // Where '*' and '?' may be part of a name (Linux), the file of that very name is read, not a
    // sibling that the name taken as a pattern also matches and that comes first.
    void aNameThatLooksLikeAPatternIsThatFile_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("sibling");
        // Each sibling sorts before the name, as the search takes entries in name order.
        QTest::newRow("?") << "a?c.accdb" << "a0c.accdb";
        QTest::newRow("*") << "*.accdb" << "!.accdb";
        QTest::newRow("* and ?") << "app*?.accdb" << "app!1.accdb";
    }

    void aNameThatLooksLikeAPatternIsThatFile() {
        QFETCH(QString, name);
        QFETCH(QString, sibling);
        if (const QString why = missing(Facility::AnyCharacterInNames); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QTemporaryDir folder(dir.filePath("literal-XXXXXX"));
        for (const QString& file : {name, sibling}) {
            QFile made(folder.filePath(file));
            QVERIFY(made.open(QIODevice::WriteOnly));
        }
        stamp(folder.filePath(sibling), QFileDevice::FileModificationTime, utc(2011, 1, 1, 0, 0, 0));
        stamp(folder.filePath(name), QFileDevice::FileModificationTime, utc(2012, 2, 2, 0, 0, 0));
        FileTimeRecords records;
        QCOMPARE(ReadFileDate(records, folder.filePath(name), Modified).toUTC(),
                 utc(2012, 2, 2, 0, 0, 0));
        QCOMPARE(records.FindData.cFileName, name);
    }

    // Both directions use the offset in force now: a winter stamp read in summer reads an hour
    // later than the wall clock showed when it was made, and writing it back restores it.
    void convertsWithTodaysOffset_data() {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QDateTime>("winterStamp");
        QTest::addColumn<QDateTime>("readInSummer");
        QTest::newRow("north") << QByteArray("CET-1CEST,M3.5.0,M10.5.0/3")
                               << utc(2025, 1, 15, 11, 0, 0) << local(2025, 1, 15, 13, 0, 0);
        QTest::newRow("south") << QByteArray("AEST-10AEDT,M10.1.0,M4.1.0/3")
                               << utc(2025, 7, 15, 2, 0, 0) << local(2025, 7, 15, 13, 0, 0);
    }

    void convertsWithTodaysOffset() {
        QFETCH(QByteArray, tz);
        QFETCH(QDateTime, winterStamp);
        QFETCH(QDateTime, readInSummer);
        if (const QString why = missing(Facility::ProcessTimeZone); !why.isEmpty())
            QSKIP(qPrintable(why));
        const ScopedTimeZone zone(tz);
        if (!QDateTime::currentDateTime().isDaylightTime())
            QSKIP("daylight-saving time is not in force in this zone today");
        const QString path = makeFile();
        stamp(path, QFileDevice::FileModificationTime, winterStamp);

        FileTimeRecords records;
        const QDateTime read = ReadFileDate(records, path, Modified);
        QCOMPARE(read.date(), readInSummer.date());
        QCOMPARE(read.time(), readInSummer.time());
        QVERIFY(stamped(PutFileDate(records, path, Modified, read)));
        QCOMPARE(QFileInfo(path).lastModified().toUTC(), winterStamp);
    }

    void refusesDatesItCannotStamp_data() {
        QTest::addColumn<QDateTime>("date");
        QTest::newRow("1600") << local(1600, 12, 31, 23, 59, 59);
        QTest::newRow("first second, east of UTC") << local(1601, 1, 1, 0, 0, 0);
        QTest::newRow("invalid") << QDateTime();
    }

    void refusesDatesItCannotStamp() {
        QFETCH(QDateTime, date);
        if (const QString why = missing(Facility::ProcessTimeZone);
            date.date().year() == 1601 && !why.isEmpty())
            QSKIP(qPrintable(why));
        const ScopedTimeZone zone("XXX-3");
        const QString path = makeFile();
        const test::DateSnapshot before = test::dateSnapshot(path);
        FileTimeRecords records;
        QCOMPARE(PutFileDate(records, path, Modified, date), std::optional<qint32>(0));
        QCOMPARE(test::dateSnapshot(path), before);
    }

    void reportsNothingWhenTheFileCannotBeOpened() {
        const QTemporaryDir folder(dir.filePath("folder-XXXXXX"));
        const QDateTime before = QFileInfo(folder.path()).lastModified();
        FileTimeRecords records;
        QCOMPARE(PutFileDate(records, folder.path(), Modified, local(2000, 1, 1, 0, 0, 0)),
                 std::nullopt);
        QCOMPARE(records.FileHandle, platform::InvalidHandle);
        QCOMPARE(QFileInfo(folder.path()).lastModified(), before);
    }

    // The attribute word is read by name, which a wildcard is not.
    void raisesWhenTheAttributesCannotBeRead() {
        const QTemporaryDir folder(dir.filePath("attr-XXXXXX"));
        const QString path = makeFile(folder.path());
        const test::DateSnapshot before = test::dateSnapshot(path);
        FileTimeRecords records;
        try {
            PutFileDate(records, folder.filePath("*.txt"), Modified, local(2000, 1, 1, 0, 0, 0));
            QFAIL("no error raised");
        } catch (const RunTimeError& error) {
            QCOMPARE(error.number(), test::errorNumberFor(test::Mistake::WildcardInName));
        }
        QCOMPARE(test::dateSnapshot(path), before);
    }

    // Without a local date (here: before 1601 once the offset is applied) the reader shows the
    // missing date, not what an earlier read left in the records.
    void readsAStampWithoutLocalDateAsMissing() {
        if (const QString why = missing(Facility::ProcessTimeZone); !why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir shm(QStringLiteral("/dev/shm/tarsel-XXXXXX"));
        if (!shm.isValid())
            QSKIP("no /dev/shm to hold a time stamp from 1601");
        const QString path = makeFile(shm.path());
        stamp(path, QFileDevice::FileModificationTime, utc(1601, 1, 1, 1, 0, 0));
        if (QFileInfo(path).lastModified().toUTC() != utc(1601, 1, 1, 1, 0, 0))
            QSKIP("this file system cannot hold a time stamp from 1601");
        const ScopedTimeZone zone("YYY5");
        FileTimeRecords records;
        QVERIFY(ReadFileDate(records, path, Accessed) != local(9999, 12, 31, 0, 0, 0));
        QCOMPARE(ReadFileDate(records, path, Modified), local(9999, 12, 31, 0, 0, 0));
    }
};

QTEST_GUILESS_MAIN(TestFileDates)
#include "test_FileDates.moc"
