#include "sweep/LockFile.h"

#include "support/FileFixtures.h"
#include "support/LockFileSlots.h"
#include "support/TestHost.h"

#include <QtTest>

using namespace tarsel;
using test::lockFileSlot;
using test::writeFile;

namespace {

QStringList numberedNames(int count) {
    QStringList names;
    for (int i = 1; i <= count; ++i)
        names.append(QStringLiteral("DESK-%1/Admin").arg(i));
    return names;
}

QStringList namesOf(const std::vector<LockFileEntry>& entries) {
    QStringList names;
    for (const LockFileEntry& entry : entries)
        names.append(entry.computer + u'/' + entry.account);
    return names;
}

} // namespace

class TestLockFile : public QObject {
    Q_OBJECT

private slots:
    void pathFor_data();
    void pathFor();
    void read_data();
    void read();
    void notAFile_data();
    void notAFile();
    void text_data();
    void text();
};

void TestLockFile::pathFor_data() {
    QTest::addColumn<QString>("frontEnd");
    QTest::addColumn<QString>("lockFile");
    QTest::newRow(".accdb") << "/srv/db/sales.accdb"
                            << "/srv/db/sales.laccdb";
    QTest::newRow(".ACCDE") << "/srv/db/Sales.ACCDE"
                            << "/srv/db/Sales.laccdb";
    QTest::newRow(".mdb") << "C:\\db\\sales.mdb"
                          << "C:\\db\\sales.ldb";
    QTest::newRow(".mde") << "sales.mde"
                          << "sales.ldb";
    QTest::newRow("two dots") << "/srv/sales.v2.accdb"
                              << "/srv/sales.v2.laccdb";
    QTest::newRow(".txt") << "/srv/db/sales.txt" << QString();
    QTest::newRow("extension only in the middle") << "/srv/db/sales.accdb.bak" << QString();
    QTest::newRow("no extension") << "/srv/db/sales" << QString();
    QTest::newRow("dot in a folder name") << "/srv/db.accdb/sales" << QString();
    QTest::newRow("dot in a Windows folder name") << "C:\\db.mdb\\sales" << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestLockFile::pathFor() {
    QFETCH(QString, frontEnd);
    QFETCH(QString, lockFile);
    QCOMPARE(lockFilePathFor(frontEnd), lockFile);
}

void TestLockFile::read_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names"); // computer/account

    QTest::newRow("two entries") << lockFileSlot("DESK-12", "Admin") +
                                        lockFileSlot("DESK-40", "Admin")
                                 << QStringList{"DESK-12/Admin", "DESK-40/Admin"};
    QTest::newRow("255 entries") << test::numberedLockFileSlots(255) << numberedNames(255);
    QTest::newRow("300 records: the first 255")
        << test::numberedLockFileSlots(300) << numberedNames(255);
    QTest::newRow("second record cut short")
        << lockFileSlot("DESK-12", "Admin") + lockFileSlot("DESK-40", "Admin").left(40)
        << QStringList{"DESK-12/Admin"};
    QTest::newRow("less than one record")
        << lockFileSlot("DESK-12", "Admin").left(63) << QStringList{};
    QTest::newRow("blank-padded") << lockFileSlot("DESK-12", "Admin", ' ')
                                  << QStringList{"DESK-12/Admin"};
    QTest::newRow("stale bytes after the NUL")
        << lockFileSlot(QByteArray("DESK-12\0OLD-NAME-x\x01", 19),
                        QByteArray("Admin\0\x7f\x02zz", 10), 'Q')
        << QStringList{"DESK-12/Admin"};
    QTest::newRow("full 32-byte names")
        << lockFileSlot(QByteArray(32, 'C'), QByteArray(32, 'A'))
        << QStringList{QString(32, u'C') + u'/' + QString(32, u'A')};
    QTest::newRow("Windows-1252 names")
        << lockFileSlot("\xC4\xE9-PC", "\x80\x8A\x9F") << QStringList{QStringLiteral("Äé-PC/€ŠŸ")};
    QTest::newRow("no account") << lockFileSlot("DESK-7", "") << QStringList{"DESK-7/"};
    QTest::newRow("garbage between names")
        << lockFileSlot("DESK-1", "Admin") + lockFileSlot("DE\x01SK", "Admin") +
               lockFileSlot("DESK-2", "Ad\tmin") + lockFileSlot("", "") +
               lockFileSlot("", "", ' ') + lockFileSlot("", "Admin") +
               lockFileSlot("DESK-\x81", "Admin") +
               QByteArray(64, '\xff').replace(5, 3, "\x7f\x7f\x7f") +
               lockFileSlot("DESK-3", "Admin")
        << QStringList{"DESK-1/Admin", "DESK-3/Admin"};
    QTest::newRow("empty") << QByteArray() << QStringList{};
}

void TestLockFile::read() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sales.laccdb"));
    QVERIFY(writeFile(path, bytes));
    QCOMPARE(namesOf(readLockFile(path)), names);
}

void TestLockFile::notAFile_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("FIFO without a writer") << "fifo";
    QTest::newRow("unreadable") << "unreadable";
}

void TestLockFile::notAFile() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sales.laccdb"));
    if (kind == "folder") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == "fifo") {
        if (const QString why = test::missing(test::Facility::Fifo); !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(test::makeFifo(path));
    } else if (kind == "unreadable") {
        QVERIFY(writeFile(path, lockFileSlot("DESK-12", "Admin")));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        if (QFile file(path); file.open(QIODevice::ReadOnly))
            QSKIP(test::runsAsRoot()
                      ? "root reads a file without read permission"
                      : "the owner still reads the file: on Windows QFile::setPermissions "
                        "changes only the read-only attribute");
    }
    QVERIFY(readLockFile(path).empty());
}

void TestLockFile::text_data() {
    QTest::addColumn<QString>("lockPath");
    QTest::addColumn<QStringList>("names"); // computer/account
    QTest::addColumn<QString>("text");

    QTest::newRow("two entries")
        << "/srv/db/sales.laccdb" << QStringList{"DESK-12/Admin", "DESK-40/Admin"}
        << "recorded in sales.laccdb (may include people who have left): DESK-12 (Admin), "
           "DESK-40 (Admin)";
    QTest::newRow("Windows path, one entry")
        << "\\\\server\\db\\sales.ldb" << QStringList{"DESK-12/Admin"}
        << "recorded in sales.ldb (may include people who have left): DESK-12 (Admin)";
    QTest::newRow("a slot repeated is named once")
        << "sales.laccdb" << QStringList{"DESK-12/Admin", "DESK-40/Admin", "DESK-12/Admin"}
        << "recorded in sales.laccdb (may include people who have left): DESK-12 (Admin), "
           "DESK-40 (Admin)";
    QTest::newRow("same computer, other account")
        << "sales.laccdb" << QStringList{"DESK-12/Admin", "DESK-12/jane"}
        << "recorded in sales.laccdb (may include people who have left): DESK-12 (Admin), "
           "DESK-12 (jane)";
    QTest::newRow("no account") << "sales.laccdb" << QStringList{"DESK-7/"}
                                << "recorded in sales.laccdb (may include people who have "
                                   "left): DESK-7";
    QTest::newRow("no entries") << "sales.laccdb" << QStringList{} << QString();
}

void TestLockFile::text() {
    QFETCH(QString, lockPath);
    QFETCH(QStringList, names);
    QFETCH(QString, text);
    std::vector<LockFileEntry> entries;
    for (const QString& name : names)
        entries.push_back({name.section(u'/', 0, 0), name.section(u'/', 1)});
    QCOMPARE(lockFileText(lockPath, entries), text);
}

QTEST_GUILESS_MAIN(TestLockFile)
#include "test_LockFile.moc"
