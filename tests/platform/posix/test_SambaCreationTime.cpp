#include "filetime/PutFileDate.h"
#include "filetime/ReadFileDate.h"
#include "platform/FileTimes.h"
#include "platform/posix/DosAttrib.h"
#include "support/DateFixtures.h"
#include "support/ScopedTimeZone.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/xattr.h>

using namespace tarsel;
using namespace tarsel::platform;
using tarsel::test::local;
using tarsel::test::ReadOnly;
using tarsel::test::ScopedTimeZone;
using tarsel::test::stamped;
using tarsel::test::ticksOf;
using tarsel::test::utc;

namespace {

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

// Where Linux keeps a creation time: Samba's user.DOSATTRIB record, which a Samba share shows its
// Windows clients, and the SMB client's user.cifs.creationtime.
class TestSambaCreationTime : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int files = 0;

    QString makeFile(const QString& name = {}, const QString& folder = {}) {
        const QString path = (folder.isEmpty() ? dir.path() : folder) + u'/' +
                             (name.isEmpty() ? QStringLiteral("file%1.txt").arg(++files) : name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("x") != 1)
            qFatal("cannot create %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

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

    // Samba shows Windows clients the creation time it finds in user.DOSATTRIB.
    void storesCreatedInSambasRecord() {
        const ScopedTimeZone zone("XXX-3");
        const QString path = makeFile();
        FileTimeRecords records;
        QVERIFY(stamped(PutFileDate(records, path, Created, local(2024, 5, 6, 7, 8, 9))));
        QCOMPARE(xattr(path, DosAttribName).toHex(' '),
                 QByteArray("00 00 05 00 05 00 00 00 11 00 00 00 20 00 00 00 "
                            "80 5a 1f 01 6b 9f da 01"));
        QCOMPARE(ReadFileDate(records, path, Created), local(2024, 5, 6, 7, 8, 9));
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
        const QString path = makeFile({}, mountPoint);
        QVERIFY(QFile::setPermissions(path, ReadOnly));
        const test::DateSnapshot before = test::dateSnapshot(path);
        QCOMPARE(before.created, before.modified);

        FileTimeRecords records;
        QCOMPARE(PutFileDate(records, path, Created, local(2001, 1, 1, 1, 1, 1)),
                 std::optional<qint32>(0));
        QCOMPARE(test::dateSnapshot(path), before);
        QVERIFY(stamped(PutFileDate(records, path, Accessed, local(2002, 2, 2, 2, 2, 2))));
        QCOMPARE(ReadFileDate(records, path, Accessed), local(2002, 2, 2, 2, 2, 2));
        QCOMPARE(QFileInfo(path).permissions(), before.permissions);
    }
};

QTEST_GUILESS_MAIN(TestSambaCreationTime)
#include "test_SambaCreationTime.moc"
