#include "platform/DirectorySearch.h"
#include "platform/posix/DosAttrib.h"
#include "platform/FileTimes.h"
#include "support/ScopedTimeZone.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/xattr.h>

using namespace tarsel::platform;
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

void setXattr(const QString& path, const char* name, const QByteArray& value) {
    QCOMPARE(::setxattr(QFile::encodeName(path).constData(), name, value.constData(),
                        size_t(value.size()), 0),
             0);
}

QByteArray xattr(const QString& path, const char* name) {
    char buffer[256];
    const ssize_t n = ::getxattr(QFile::encodeName(path).constData(), name, buffer, sizeof buffer);
    return n < 0 ? QByteArray() : QByteArray(buffer, n);
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
        QVERIFY(!systemTimeToFileTime(input, out));
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

    // Where the creation time comes from, in order: Samba's record, else the birth time.
    void readsTheCreationTime_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("fromRecord");
        const QByteArray v3 = QByteArray::fromHex(
            "3078323000 00 0300 0300 0000 11000000 20000000 00000000 0000000000000000"
            " 0000000000000000 00c0e4a1f8a7d901 0000000000000000");
        QTest::newRow("no record") << QByteArray() << QByteArray() << false;
        QTest::newRow("v5 record")
            << QByteArray(DosAttribName) << encodeDosAttrib(0x20, 0x01D9A7F8A1E4C000) << true;
        QTest::newRow("v3 record") << QByteArray(DosAttribName) << v3 << true;
        QTest::newRow("legacy record")
            << QByteArray(DosAttribName) << QByteArray("0x20", 5) << false;
        QTest::newRow("garbage record")
            << QByteArray(DosAttribName) << QByteArray("\x01\x02\x03") << false;
        QTest::newRow("SMB client's, on a local disk")
            << QByteArray("user.cifs.creationtime")
            << QByteArray("\x00\xc0\xe4\xa1\xf8\xa7\xd9\x01") << false;
    }

    void readsTheCreationTime() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, value);
        QFETCH(bool, fromRecord);
        const QString path =
            makeFile(QStringLiteral("created-%1.txt").arg(QTest::currentDataTag()));
        const QDateTime birth = QFileInfo(path).birthTime();
        if (!name.isEmpty())
            setXattr(path, name.constData(), value);

        WIN32_FIND_DATA found;
        QVERIFY(findFirstFile(path, found) != InvalidHandle);
        if (fromRecord)
            QCOMPARE(found.ftCreationTime.ticks, quint64(0x01D9A7F8A1E4C000));
        else if (birth.isValid())
            QCOMPARE(found.ftCreationTime.ticks / 10'000, ticksOf(birth) / 10'000);
        else
            QCOMPARE(found.ftCreationTime.ticks, found.ftLastWriteTime.ticks);
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
        QCOMPARE(found.ftCreationTime.ticks, creation.ticks);
        QCOMPARE(found.ftLastAccessTime.ticks, access.ticks);
        QCOMPARE(found.ftLastWriteTime.ticks, write.ticks);
        QCOMPARE(QFileInfo(path).size(), qint64(1));
    }

    // The creation time lands in Samba's record, which keeps the DOS attributes stored before.
    void keepsStoredDosAttributes_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<quint32>("attributes");
        QTest::newRow("none stored") << QByteArray() << 0x20u;
        QTest::newRow("v5") << encodeDosAttrib(0x27, 99) << 0x27u;
        QTest::newRow("legacy") << QByteArray("0x22", 5) << 0x22u;
        QTest::newRow("garbage") << QByteArray("junk") << 0x20u;
    }

    void keepsStoredDosAttributes() {
        QFETCH(QByteArray, before);
        QFETCH(quint32, attributes);
        const QString path = makeFile(QStringLiteral("dos-%1.txt").arg(QTest::currentDataTag()));
        if (!before.isEmpty())
            setXattr(path, DosAttribName, before);
        WIN32_FIND_DATA found;
        QVERIFY(findFirstFile(path, found) != InvalidHandle);

        const quint64 creation = ticksOf(utc(2010, 6, 7, 8, 9, 10)) + 5;
        const qint32 handle = openExistingForWriting(path);
        QVERIFY(setFileTime(handle, FILETIME{creation}, found.ftLastAccessTime,
                            found.ftLastWriteTime) != 0);
        closeHandle(handle);
        QCOMPARE(xattr(path, DosAttribName), encodeDosAttrib(attributes, creation));
    }

    // An unchanged creation time is not written, so stamping the other two needs no xattrs.
    void leavesAnUnchangedCreationTimeAlone() {
        const QString path = makeFile("unchanged.txt");
        WIN32_FIND_DATA found;
        QVERIFY(findFirstFile(path, found) != InvalidHandle);
        const qint32 handle = openExistingForWriting(path);
        QVERIFY(setFileTime(handle, found.ftCreationTime, found.ftLastAccessTime,
                            FILETIME{ticksOf(utc(2015, 1, 1, 0, 0, 0))}) != 0);
        closeHandle(handle);
        QVERIFY(xattr(path, DosAttribName).isEmpty());
        QCOMPARE(QFileInfo(path).lastModified().toUTC(), utc(2015, 1, 1, 0, 0, 0));
    }

    void opensOnlyExistingFilesForWriting() {
        QCOMPARE(openExistingForWriting(dir.filePath("never.txt")), InvalidHandle);
        QVERIFY(!QFileInfo::exists(dir.filePath("never.txt")));
        QCOMPARE(openExistingForWriting(dir.path()), InvalidHandle);
    }
};

QTEST_GUILESS_MAIN(TestFileTimes)
#include "test_FileTimes.moc"
