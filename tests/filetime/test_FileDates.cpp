#include "filetime/PutFileDate.h"
#include "filetime/ReadFileDate.h"
#include "platform/posix/DosAttrib.h"
#include "platform/RunTimeError.h"
#include "support/ScopedTimeZone.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/xattr.h>

using namespace tarsel;
using tarsel::test::ScopedTimeZone;
using tarsel::test::ticksOf;

namespace {

constexpr QFile::Permissions ReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;

QDateTime local(int y, int mo, int d, int h, int mi, int s) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

bool stamped(const std::optional<qint32>& result) {
    return result && *result != 0;
}

QByteArray dosAttrib(const QString& path) {
    char buffer[256];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), platform::DosAttribName,
                                 buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
}

// The three dates as the reader sees them, and the permissions: what a stamp may not change.
struct Snapshot {
    QDateTime created, modified, accessed;
    QFile::Permissions permissions;
    bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot(const QString& path) {
    FileTimeRecords records;
    return {ReadFileDate(records, path, Created), ReadFileDate(records, path, Modified),
            ReadFileDate(records, path, Accessed), QFileInfo(path).permissions()};
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
        const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        const QString path = makeFile();
        const Snapshot before = snapshot(path);

        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, path, kind, date)));
        QCOMPARE(ReadFileDate(records, path, kind), date);
        const Snapshot after = snapshot(path);
        for (qint32 other : {Created, Modified, Accessed}) {
            const QDateTime Snapshot::*field = other == Created    ? &Snapshot::created
                                               : other == Modified ? &Snapshot::modified
                                                                   : &Snapshot::accessed;
            if (other != kind)
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
        const Snapshot before = exists ? snapshot(path) : Snapshot{};

        FileTimeRecords records;
        QCOMPARE(ReadFileDate(records, path, kind), local(9999, 12, 31, 0, 0, 0));
        QCOMPARE(PutFileDate(records, path, kind, local(2020, 1, 1, 0, 0, 0)), std::nullopt);
        if (!exists) {
            QCOMPARE(records.FileHandle, platform::InvalidHandle);
            QVERIFY(!QFileInfo::exists(path));
            return;
        }
        QCOMPARE(snapshot(path), before);
        QVERIFY(dosAttrib(path).isEmpty());
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
        const QString source = makeFile();
        const QString target = makeFile();
        stamp(source, QFileDevice::FileAccessTime, utc(2020, 3, 4, 5, 6, 7, 999));

        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, target, Created, local(2020, 1, 1, 12, 0, 0))));
        QCOMPARE(platform::decodeDosAttrib(dosAttrib(target))->createTime.value() % 10'000'000,
                 quint64(0));

        const QDateTime read = ReadFileDate(records, source, Accessed);
        QCOMPARE(read.toUTC(), utc(2020, 3, 4, 5, 6, 7));
        QCOMPARE(records.SysTime.wMilliseconds, quint16(999));
        QVERIFY(stamped(PutFileDate(records, target, Created, local(2020, 1, 1, 12, 0, 0))));
        QCOMPARE(platform::decodeDosAttrib(dosAttrib(target))->createTime.value() % 10'000'000,
                 quint64(9'990'000));
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

    // Samba shows Windows clients the creation time it finds in user.DOSATTRIB.
    void storesCreatedInSambasRecord() {
        const ScopedTimeZone zone("XXX-3");
        const QString path = makeFile();
        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, path, Created, local(2024, 5, 6, 7, 8, 9))));
        QCOMPARE(dosAttrib(path).toHex(' '),
                 QByteArray("00 00 05 00 05 00 00 00 11 00 00 00 20 00 00 00 "
                            "80 5a 1f 01 6b 9f da 01"));
        QCOMPARE(ReadFileDate(records, path, Created), local(2024, 5, 6, 7, 8, 9));
    }

    void refusesDatesItCannotStamp_data() {
        QTest::addColumn<QDateTime>("date");
        QTest::newRow("1600") << local(1600, 12, 31, 23, 59, 59);
        QTest::newRow("first second, east of UTC") << local(1601, 1, 1, 0, 0, 0);
        QTest::newRow("invalid") << QDateTime();
    }

    void refusesDatesItCannotStamp() {
        QFETCH(QDateTime, date);
        const ScopedTimeZone zone("XXX-3");
        const QString path = makeFile();
        const Snapshot before = snapshot(path);
        FileTimeRecords records;
        QCOMPARE(PutFileDate(records, path, Modified, date), std::optional<qint32>(0));
        QCOMPARE(snapshot(path), before);
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
        const Snapshot before = snapshot(path);
        FileTimeRecords records;
        try {
            PutFileDate(records, folder.filePath("*.txt"), Modified, local(2000, 1, 1, 0, 0, 0));
            QFAIL("no error raised");
        } catch (const RunTimeError& error) {
            QCOMPARE(error.number(), ErrNo::FileNotFound);
        }
        QCOMPARE(snapshot(path), before);
    }

    // Without a local date (here: before 1601 once the offset is applied) the reader shows the
    // missing date, not what an earlier read left in the records.
    void readsAStampWithoutLocalDateAsMissing() {
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

    // On a file system without extended attributes a creation time cannot be stored: the stamp
    // fails and changes nothing, while the other two kinds still stamp.
    void failsCreatedWhereNoXattrsExist() {
        const QString mountPoint = dir.filePath("ramfs");
        const QByteArray mountName = QFile::encodeName(mountPoint);
        QVERIFY(QDir().mkpath(mountPoint));
        // A mount namespace of this process's own keeps the ramfs from everyone else.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("ramfs", mountName.constData(), "ramfs", 0, nullptr) != 0)
            QSKIP("cannot mount a ramfs here (needs root)");
        const auto unmount = qScopeGuard([&] { ::umount2(mountName.constData(), MNT_DETACH); });
        const QString path = makeFile(mountPoint);
        QVERIFY(QFile::setPermissions(path, ReadOnly));
        const Snapshot before = snapshot(path);
        QCOMPARE(before.created, before.modified);

        FileTimeRecords records;
        QCOMPARE(PutFileDate(records, path, Created, local(2001, 1, 1, 1, 1, 1)),
                 std::optional<qint32>(0));
        QCOMPARE(snapshot(path), before);
        QVERIFY(stamped(PutFileDate(records, path, Accessed, local(2002, 2, 2, 2, 2, 2))));
        QCOMPARE(ReadFileDate(records, path, Accessed), local(2002, 2, 2, 2, 2, 2));
        QCOMPARE(QFileInfo(path).permissions(), before.permissions);
    }
};

QTEST_GUILESS_MAIN(TestFileDates)
#include "test_FileDates.moc"
