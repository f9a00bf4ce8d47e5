#include "platform/DirectorySearch.h"
#include "platform/FileTimes.h"
#include "support/ScopedTimeZone.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel::platform;
using tarsel::test::Facility;
using tarsel::test::missing;
using tarsel::test::ScopedTimeZone;
using tarsel::test::ticksOf;

namespace {

constexpr quint64 MaxTicks = 0x7FFFFFFFFFFFFFFF;

SYSTEMTIME fields(int y, int mo, int dow, int d, int h, int mi, int s, int ms) {
    return {quint16(y), quint16(mo), quint16(dow), quint16(d),
            quint16(h), quint16(mi), quint16(s),   quint16(ms)};
}

bool operator==(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDayOfWeek == b.wDayOfWeek &&
           a.wDay == b.wDay && a.wHour == b.wHour && a.wMinute == b.wMinute &&
           a.wSecond == b.wSecond && a.wMilliseconds == b.wMilliseconds;
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

} // namespace

Q_DECLARE_METATYPE(SYSTEMTIME)

class TestFileTimes : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString makeFile(const QString& name) {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            qFatal("cannot create %s", qPrintable(path));
        return path;
    }

    static void stamp(const QString& path, const QDateTime& access, const QDateTime& write) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(access, QFileDevice::FileAccessTime));
        QVERIFY(file.setFileTime(write, QFileDevice::FileModificationTime));
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    void breaksDownFileTimes_data() {
        QTest::addColumn<quint64>("ticks");
        QTest::addColumn<SYSTEMTIME>("expected");
        QTest::newRow("first tick") << quint64(0) << fields(1601, 1, 1, 1, 0, 0, 0, 0);
        QTest::newRow("unix epoch")
            << quint64(116444736000000000) << fields(1970, 1, 4, 1, 0, 0, 0, 0);
        QTest::newRow("leap day") << ticksOf(utc(2024, 2, 29, 13, 14, 15, 16))
                                  << fields(2024, 2, 4, 29, 13, 14, 15, 16);
        QTest::newRow("last ms of 9999")
            << quint64(2650467743999990000) << fields(9999, 12, 5, 31, 23, 59, 59, 999);
        QTest::newRow("largest") << MaxTicks << fields(30828, 9, 4, 14, 2, 48, 5, 477);
    }

    void breaksDownFileTimes() {
        QFETCH(quint64, ticks);
        QFETCH(SYSTEMTIME, expected);
        SYSTEMTIME broken;
        QVERIFY(fileTimeToSystemTime(FILETIME{ticks}, broken));
        QVERIFY(broken == expected);
        if (expected.wYear <= 30827) {
            FILETIME back{1};
            QVERIFY(systemTimeToFileTime(broken, back));
            QCOMPARE(back.ticks, ticks - ticks % 10'000);
        }
    }

    void refusesWhatNoFileTimeHolds_data() {
        QTest::addColumn<SYSTEMTIME>("input");
        QTest::newRow("1600") << fields(1600, 12, 0, 31, 23, 59, 59, 0);
        QTest::newRow("30828") << fields(30828, 1, 0, 1, 0, 0, 0, 0);
        QTest::newRow("month 13") << fields(2024, 13, 0, 1, 0, 0, 0, 0);
        QTest::newRow("29 Feb 2023") << fields(2023, 2, 0, 29, 0, 0, 0, 0);
        QTest::newRow("hour 24") << fields(2024, 1, 0, 1, 24, 0, 0, 0);
        QTest::newRow("ms 1000") << fields(2024, 1, 0, 1, 0, 0, 0, 1000);
    }

    void refusesWhatNoFileTimeHolds() {
        QFETCH(SYSTEMTIME, input);
        FILETIME out{77};
        const bool refused = !systemTimeToFileTime(input, out);
        if (const QString why = missing(Facility::DateFieldCheck); !refused && !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(refused);
        QCOMPARE(out.ticks, quint64(77));
        SYSTEMTIME untouched = fields(1, 2, 3, 4, 5, 6, 7, 8);
        QVERIFY(!fileTimeToSystemTime(FILETIME{MaxTicks + 1}, untouched));
        QVERIFY(untouched == fields(1, 2, 3, 4, 5, 6, 7, 8));
    }

    void convertsWithTheOffsetInForceNow_data() {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<qint64>("offsetHours");
        QTest::newRow("UTC+3") << QByteArray("XXX-3") << qint64(3);
        QTest::newRow("UTC-5") << QByteArray("YYY5") << qint64(-5);
    }

    void convertsWithTheOffsetInForceNow() {
        QFETCH(QByteArray, tz);
        QFETCH(qint64, offsetHours);
        if (const QString why = missing(Facility::ProcessTimeZone); !why.isEmpty())
            QSKIP(qPrintable(why));
        const ScopedTimeZone zone(tz);
        const quint64 stamp = ticksOf(utc(2024, 1, 15, 12, 0, 0));
        const quint64 shift = quint64(offsetHours * 3600) * 10'000'000;
        FILETIME local, back;
        QVERIFY(fileTimeToLocalFileTime(FILETIME{stamp}, local));
        QCOMPARE(local.ticks, stamp + shift);
        QVERIFY(localFileTimeToFileTime(local, back));
        QCOMPARE(back.ticks, stamp);

        // Out of range either way: the output keeps what it held.
        FILETIME out{5};
        QVERIFY(!fileTimeToLocalFileTime(FILETIME{offsetHours < 0 ? 0 : MaxTicks}, out));
        QVERIFY(!localFileTimeToFileTime(FILETIME{offsetHours < 0 ? MaxTicks : 0}, out));
        QCOMPARE(out.ticks, quint64(5));
    }

    void findsTheEntrysAttributesAndTimes() {
        const QString path = makeFile("times.txt");
        makeFile("zz-times.txt");
        const QDateTime access = utc(2021, 3, 4, 5, 6, 7, 891);
        const QDateTime write = utc(2022, 8, 9, 10, 11, 12, 345);
        stamp(path, access, write);
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));

        WIN32_FIND_DATA found;
        QVERIFY(findFirstFile(dir.filePath("*times.txt"), found) != InvalidHandle);
        QCOMPARE(found.cFileName, QStringLiteral("times.txt"));
        QCOMPARE(found.dwFileAttributes, Attr::Archive | Attr::ReadOnly);
        QCOMPARE(found.ftLastAccessTime.ticks, ticksOf(access));
        QCOMPARE(found.ftLastWriteTime.ticks, ticksOf(write));
    }

    void setsAllThreeTimes() {
        const QString path = makeFile("set.txt");
        const FILETIME creation{ticksOf(utc(2001, 2, 3, 4, 5, 6)) + 1234567};
        const FILETIME access{ticksOf(utc(2002, 3, 4, 5, 6, 7)) + 7654321};
        const FILETIME write{ticksOf(utc(2003, 4, 5, 6, 7, 8)) + 1};
        const qint32 handle = openExistingForWriting(path);
        QVERIFY(handle != InvalidHandle);
        QVERIFY(setFileTime(handle, creation, access, write) != 0);
        closeHandle(handle);

        WIN32_FIND_DATA found;
        QVERIFY(findFirstFile(path, found) != InvalidHandle);
        QCOMPARE(found.ftLastAccessTime.ticks, access.ticks);
        QCOMPARE(found.ftLastWriteTime.ticks, write.ticks);
        QCOMPARE(QFileInfo(path).size(), qint64(1));
        if (const QString why = missing(Facility::CreationTime, dir.path()); !why.isEmpty())
            QSKIP(qPrintable("all but the creation time checked: " + why));
        QCOMPARE(found.ftCreationTime.ticks, creation.ticks);
    }

    void opensOnlyExistingFilesForWriting() {
        QCOMPARE(openExistingForWriting(dir.filePath("never.txt")), InvalidHandle);
        QVERIFY(!QFileInfo::exists(dir.filePath("never.txt")));
        QCOMPARE(openExistingForWriting(dir.path()), InvalidHandle);
    }
};

QTEST_GUILESS_MAIN(TestFileTimes)
#include "test_FileTimes.moc"
