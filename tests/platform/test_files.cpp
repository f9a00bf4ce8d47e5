#include "core/RunTimeError.h"
#include "platform/AppendLog.h"
#include "platform/DirectorySearch.h"
#include "platform/Files.h"
#include "platform/StagingFile.h"
#include "support/ErrorOf.h"
#include "support/FileFixtures.h"
#include "support/ReleaseFixture.h"
#include "support/TestHost.h"

#include <QtTest>

#include <optional>

using namespace tarsel;
using namespace tarsel::platform;
using namespace tarsel::test;

namespace {

struct NoYield : Yielder {
    void yield() override {}
};

// Counts the yields; the `cancelAt`-th throws as a cancel does.
struct CountedYields : Yielder {
    int yields = 0;
    int cancelAt = 0;
    void yield() override {
        if (++yields == cancelAt)
            throw userInterrupt();
    }
};

} // namespace

class TestFiles : public QObject, InTempFolder {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(writeFile(path("source"), patternBytes(3 << 20)));
        QVERIFY(makeNonFiles(dir.path()));
    }

    // Rows that need an entry this system cannot make skip.
    void init() {
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        if (const QString why = missing(Facility::Fifo); row.contains("FIFO") && !why.isEmpty())
            QSKIP(qPrintable(why));
        if (const QString why = missing(Facility::SymbolicLink, dir.path());
            row.contains("symbolic link") && !why.isEmpty())
            QSKIP(qPrintable(why));
    }

    void cleanup() { QFile::remove(path("target")); }

    void readsOnlyRegularFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("error");
        QTest::newRow("regular file") << path("source") << 0;
        QTest::newRow("missing") << path("missing") << runTimeNumberOf(ErrorKind::FileNotFound);
        QTest::newRow("folder") << path("folder") << runTimeNumberOf(ErrorKind::PathFileAccess);
        QTest::newRow("FIFO without a writer")
            << path("fifo") << runTimeNumberOf(ErrorKind::PathFileAccess);
        QTest::newRow("device") << deviceFile() << runTimeNumberOf(ErrorKind::PathFileAccess);
    }

    void readsOnlyRegularFiles() {
        QFETCH(QString, file);
        QFETCH(int, error);
        const qsizetype openBefore = openHandleCount();
        QCOMPARE(errorOf([&] { openForReading(file); }), error);
        QCOMPARE(openHandleCount(), openBefore);
    }

    // The system's codes that are also run-time numbers keep a kind of their own: a code is only
    // shown, never taken for the run-time error of that number.
    void nativeCodesKeepTheirOwnKind_data() {
        QTest::addColumn<qint64>("code");
        QTest::addColumn<int>("kind");
        for (const NativeCode& row : nativeCodesBesideRunTimeNumbers())
            QTest::newRow(row.name) << row.code << int(row.kind);
    }

    void nativeCodesKeepTheirOwnKind() {
        QFETCH(qint64, code);
        QFETCH(int, kind);
        const RunTimeError error = errorForNativeCode(code);
        QCOMPARE(int(error.kind()), kind);
        QCOMPARE(error.number(), ErrorKind(kind) == ErrorKind::System
                                     ? int(code)
                                     : runTimeNumberOf(ErrorKind(kind)));
    }

    void readAtStopsAtTheEnd() {
        QVERIFY(writeFile(path("ten"), "0123456789"));
        const OpenFile file = openForReading(path("ten"));
        char buffer[20];
        QCOMPARE(readAt(file, buffer, 20, 4), qint64(6));
        QCOMPARE(QByteArray(buffer, 6), QByteArray("456789"));
        QCOMPARE(readAt(file, buffer, 5, 10), qint64(0));
    }

    // A report reads a shared log while runs go on appending to it: the reader's handle shares
    // writing, and sees what is appended meanwhile.
    void readingLeavesTheFileOpenToAppends() {
        const QByteArray first = "first line\n", second = "second line\n";
        QVERIFY(writeFile(path("shared.log"), first));
        const OpenFile file = openForReading(path("shared.log"));
        QCOMPARE(errorOf([&] { appendLine(path("shared.log"), second); }), 0);
        char buffer[64];
        QCOMPARE(readAt(file, buffer, sizeof buffer, 0), qint64(first.size() + second.size()));
        QCOMPARE(QByteArray(buffer, first.size() + second.size()), first + second);
    }

    // A staging file read back as storage holds it may be read in aligned stretches (Windows), and
    // slice by slice as it reaches storage (Linux): reads in any order, across a stretch's or a
    // slice's end and over the file's end must still give the file's own bytes.
    void verifyingReadsAnyOffset_data() {
        constexpr qint64 MiB = 1 << 20;
        QTest::addColumn<qint64>("size");
        QTest::newRow("two stretches and a part") << 2 * MiB + 1000;
        QTest::newRow("beyond the writeback started at first") << 5 * 8 * MiB + 3;
    }

    void verifyingReadsAnyOffset() {
        constexpr qint64 MiB = 1 << 20;
        QFETCH(qint64, size);
        const QByteArray bytes = patternBytes(size);
        StagingFile staging(path("odd"), size);
        writeAt(staging.file(), bytes.constData(), size, 0);
        NoYield noYield;
        StoredCopy file = staging.readBack(noYield);
        const QList<std::pair<qint64, qint64>> reads = {
            {0, 100},   {MiB - 7, 32767}, {5, 4096}, {size - 10, 100},
            {size, 10}, {MiB + 3, 10},    {1, size}, {size + 4096, 1},
        };
        QByteArray buffer(size, Qt::Uninitialized);
        for (const auto& [offset, length] : reads) {
            const qint64 expected = std::clamp<qint64>(size - offset, 0, length);
            QCOMPARE(file.readAt(buffer.data(), length, offset), expected);
            QCOMPARE(buffer.first(expected), bytes.mid(offset, expected));
        }
    }

    // A run that stops before the swap leaves the old version as it was and nothing beside it.
    void stagingFileIsRemovedUnlessCommitted_data() {
        QTest::addColumn<bool>("commit");
        QTest::newRow("committed") << true;
        QTest::newRow("abandoned") << false;
    }

    void stagingFileIsRemovedUnlessCommitted() {
        QFETCH(bool, commit);
        const QByteArray old = "old content, longer than the new";
        QVERIFY(writeFile(path("target"), old));
        {
            StagingFile staging(path("target"), 3);
            writeAt(staging.file(), "new", 3, 0);
            NoYield noYield;
            if (commit)
                staging.commit(noYield);
        }
        QCOMPARE(readFile(path("target")), commit ? QByteArray("new") : old);
        QCOMPARE(ReleaseFixture::stagingFilesIn(dir.path()), QStringList());
    }

    // The room is taken before the first write, yet the file shows only what was written: a copy
    // cut short must not look as long as its source.
    // A large reservation yields between its pieces, so the window is not held before the copy's
    // first yield.
    void stagingFileReservesTheLengthUpFront_data() {
        QTest::addColumn<qint64>("length");
        QTest::addColumn<int>("yields");
        QTest::newRow("one piece") << qint64(100000) << 0;
        QTest::newRow("three pieces") << (qint64(150) << 20) << 2;
    }

    void stagingFileReservesTheLengthUpFront() {
        QFETCH(qint64, length);
        QFETCH(int, yields);
        if (const QString why = missing(Facility::ReserveRoom, dir.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        CountedYields counted;
        StagingFile staging(path("target"), length, &counted);
        QCOMPARE(lengthOf(staging.file()), qint64(0));
        QVERIFY(allocatedBytes(staging.file().handle()) >= length);
        QCOMPARE(counted.yields, yields);
    }

    // A cancel while the room is reserved leaves no staging file behind.
    void cancelDuringTheReservationRemovesTheFile() {
        if (const QString why = missing(Facility::ReserveRoom, dir.path()); !why.isEmpty())
            QSKIP(qPrintable(why));
        CountedYields cancelling;
        cancelling.cancelAt = 1;
        QCOMPARE(
            errorOf([&] { StagingFile staging(path("target"), qint64(150) << 20, &cancelling); }),
            runTimeNumberOf(ErrorKind::UserInterrupt));
        QCOMPARE(ReleaseFixture::stagingFilesIn(dir.path()), QStringList());
    }

    // Until the swap the staging file is its owner's alone, whatever the old version's rights or
    // the folder's: a reader who got in meanwhile would keep reading what comes to it.
    void stagingFileIsItsOwnersAlone_data() {
        QTest::addColumn<bool>("oldVersion");
        QTest::newRow("beside an old version everyone may read") << true;
        QTest::newRow("beside no old version") << false;
    }

    void stagingFileIsItsOwnersAlone() {
        QFETCH(bool, oldVersion);
        QFile::remove(path("target"));
        if (oldVersion) {
            QVERIFY(writeFile(path("target"), "old"));
            QVERIFY(QFile::setPermissions(path("target"), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ReadGroup | QFile::ReadOther));
        }
        StagingFile staging(path("target"), 10);
        writeAt(staging.file(), "new", 3, 0);
        QCOMPARE(othersMayOpen(staging.path()), QString());
    }

    // Everyone who could open the old version can open the new one, whatever the runner's umask.
    void newVersionKeepsTheRightsUsersHad_data() {
        QTest::addColumn<QString>("rightsOf"); // the file whose rights the new version takes
        QTest::addColumn<bool>("link");        // the target is a symbolic link to that file
        QTest::newRow("old version") << path("target") << false;
        QTest::newRow("symbolic link to the old version") << path("pointed-to") << true;
        QTest::newRow("no old version: what a new file gets") << path("fresh") << false;
        QTest::newRow("no old version, the usual umask: what a new file gets")
            << path("fresh, usual umask") << false;
    }

    void newVersionKeepsTheRightsUsersHad() {
        QFETCH(QString, rightsOf);
        QFETCH(bool, link);
        for (const char* name : {"target", "pointed-to", "fresh", "fresh, usual umask"})
            QFile::remove(path(name));
        std::optional<PrivateNewFiles> privateFiles;
        if (!rightsOf.endsWith("usual umask"))
            privateFiles.emplace();
        QVERIFY(
            writeFile(rightsOf.startsWith(path("fresh")) ? rightsOf : path("fresh"), "a new file"));
        const QString fresh = accessRightsOf(path("fresh"));
        if (!rightsOf.startsWith(path("fresh"))) {
            QVERIFY(writeFile(rightsOf, "old"));
            if (const QString why = giveUncommonRights(rightsOf, 4321); !why.isEmpty())
                QSKIP(qPrintable(why));
            QVERIFY(accessRightsOf(rightsOf) != fresh);
        }
        if (link)
            QVERIFY(makeSymbolicLink(rightsOf, path("target")));
        const QString expected = accessRightsOf(rightsOf);
        QVERIFY(!expected.isEmpty());
        {
            StagingFile staging(path("target"), 0);
            NoYield noYield;
            staging.commit(noYield);
        }
        QCOMPARE(accessRightsOf(path("target")), expected);
    }

    // A runner without privileges replacing another's file, or a file of a group it is not in:
    // what that owner or group alone was let do is taken from the new version, never handed to
    // the runner's own group, and the run is told whom it could not keep.
    void rightsThatCannotBeKeptAreTakenAway_data() {
        QTest::addColumn<uint>("owner");
        QTest::addColumn<uint>("group");
        QTest::addColumn<int>("mode"); // of the old version; -1: the ACL giveUncommonRights gives
        QTest::addColumn<QString>("rights"); // of the new version, made by root
        QTest::addColumn<QString>("lost");   // what the warning names; empty: no warning
        const uint other = 4321;
        QTest::newRow("another's file, a group the runner is not in")
            << other << other << 0640 << "mode 600 owner 0 group 0 ACL none"
            << "owner 4321 and group 4321";
        QTest::newRow("another's file everyone may read: the runner's group reads as everyone")
            << other << other << 0664 << "mode 644 owner 0 group 0 ACL none"
            << "owner 4321 and group 4321";
        QTest::newRow("the runner's file of another group")
            << 0u << other << 0660 << "mode 600 owner 0 group 0 ACL none"
            << "group 4321";
        QTest::newRow("another's file of the runner's group: the group keeps its bits")
            << other << 0u << 0460 << "mode 660 owner 0 group 0 ACL none"
            << "owner 4321";
        QTest::newRow("the runner's own file and group: all kept")
            << 0u << 0u << 0640 << "mode 640 owner 0 group 0 ACL none" << QString();
        // u::rw-,u:4322:r--,g::---,m::rw-,o::r--: the named entry stays, the owning group's goes.
        QTest::newRow("another's file with an ACL: the owning group's entry goes")
            << other << other << -1
            << "mode 664 owner 0 group 0 ACL 0200000001000600ffffffff02000400e2100000"
               "04000000ffffffff10000600ffffffff20000400ffffffff"
            << "owner 4321 and group 4321";
    }

    void rightsThatCannotBeKeptAreTakenAway() {
        QFETCH(uint, owner);
        QFETCH(uint, group);
        QFETCH(int, mode);
        QFETCH(QString, rights);
        QFETCH(QString, lost);
        QFile::remove(path("target"));
        QVERIFY(writeFile(path("target"), "old"));
        if (const QString why = UnprivilegedOwnerChanges().missing(); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (!runsAsRoot())
            QSKIP("only root makes another owner's file to replace, and is owner 0 of group 0");
        if (mode < 0) {
            if (const QString why = giveUncommonRights(path("target"), owner); !why.isEmpty())
                QSKIP(qPrintable(why));
        } else {
            QVERIFY(changeOwner(path("target"), owner, group));
            const auto bits = QFile::Permissions::fromInt(((mode >> 6) << 12) |
                                                          (((mode >> 3) & 7) << 4) | (mode & 7));
            QVERIFY(QFile::setPermissions(path("target"), bits));
        }
        std::optional<RunTimeError> notKept;
        {
            const UnprivilegedOwnerChanges unprivileged;
            QCOMPARE(unprivileged.missing(), QString());
            StagingFile staging(path("target"), 3);
            writeAt(staging.file(), "new", 3, 0);
            NoYield noYield;
            notKept = staging.commit(noYield);
        }
        QCOMPARE(readFile(path("target")), QByteArray("new"));
        QCOMPARE(accessRightsOf(path("target")), rights);
        QCOMPARE(notKept.has_value(), !lost.isEmpty());
        // Named after the target, the name the user gave, not the hidden staging file's.
        if (notKept)
            QVERIFY2(notKept->description().startsWith(
                         path("target") + " could not keep the old version's " + lost + ":"),
                     qPrintable(notKept->description()));
    }

    // The old version's record moved out of the way for a swap: back where the swap failed,
    // removed where it succeeded, never over a file that took its name meanwhile, and left alone
    // by another run's clean-up while it is aside.
    void setAsideForASwap_data() {
        QTest::addColumn<QString>("entry"); // what lies at the name: file, read-only file, symbolic
                                            // link, folder or nothing
        QTest::addColumn<QString>("end");   // put back, removed, or name taken
        QTest::newRow("a file, put back") << "file"
                                          << "put back";
        QTest::newRow("a file, removed") << "file"
                                         << "removed";
        QTest::newRow("a file whose name was taken meanwhile: removed") << "file"
                                                                        << "name taken";
        QTest::newRow("a read-only file, put back read-only") << "read-only file"
                                                              << "put back";
        QTest::newRow("a read-only file, removed") << "read-only file"
                                                   << "removed";
        QTest::newRow("a symbolic link, removed, its file kept") << "symbolic link"
                                                                 << "removed";
        QTest::newRow("a folder: left where it is") << "folder"
                                                    << "removed";
        QTest::newRow("nothing") << "nothing"
                                 << "removed";
    }

    void setAsideForASwap() {
        QFETCH(QString, entry);
        QFETCH(QString, end);
        const QString record = path("aside/app.mdb.sha256");
        const QString pointedTo = path("aside/elsewhere.sha256");
        QVERIFY(QDir(path("aside")).removeRecursively() && QDir().mkpath(path("aside")));
        if (entry.endsWith("file"))
            QVERIFY(writeFile(record, "the old version's"));
        // Old enough for any clean-up to take it for a killed run's, were it not held.
        if (entry.endsWith("file"))
            QVERIFY(untouchedForLong(record));
        if (entry == "read-only file")
            QVERIFY(QFile::setPermissions(record, QFile::ReadOwner));
        if (entry == "symbolic link")
            QVERIFY(writeFile(pointedTo, "the old version's") &&
                    makeSymbolicLink(pointedTo, record));
        if (entry == "folder")
            QVERIFY(QDir().mkdir(record));
        {
            SetAside aside(record);
            const bool moved = entry.endsWith("file") || entry == "symbolic link";
            QCOMPARE(QFileInfo::exists(record) || QFileInfo(record).isSymLink(),
                     entry != "nothing" && !moved);
            const QStringList staging = ReleaseFixture::stagingFilesIn(path("aside"));
            QCOMPARE(staging.size(), moved ? 1 : 0);
            removeOrphanedStagingFiles(record);
            QCOMPARE(ReleaseFixture::stagingFilesIn(path("aside")), staging);
            if (end == "name taken")
                QVERIFY(writeFile(record, "another run's"));
            if (end != "removed")
                aside.putBack();
        }
        QCOMPARE(ReleaseFixture::stagingFilesIn(path("aside")), QStringList());
        if (entry == "folder")
            QVERIFY(QFileInfo(record).isDir());
        else if (end == "put back")
            QCOMPARE(readFile(record), QByteArray("the old version's"));
        else if (end == "name taken")
            QCOMPARE(readFile(record), QByteArray("another run's"));
        else
            QVERIFY(!QFileInfo::exists(record) && !QFileInfo(record).isSymLink());
        if (entry == "read-only file" && end == "put back")
            QCOMPARE(QFile::permissions(record) & QFile::WriteOwner, QFile::Permissions());
        if (entry == "symbolic link")
            QCOMPARE(readFile(pointedTo), QByteArray("the old version's"));
        QFile::setPermissions(record, QFile::ReadOwner | QFile::WriteOwner);
    }

    // The same file however the path reaches it; a copy, a missing file or no path never is.
    void sameFileByIdentity_data() {
        QTest::addColumn<QString>("other"); // how the second path is made
        QTest::addColumn<bool>("same");
        QTest::newRow("the same path") << "same path" << true;
        QTest::newRow("another spelling of its path") << "spelling" << true;
        QTest::newRow("a symbolic link to it") << "symbolic link" << true;
        QTest::newRow("a copy of it") << "copy" << false;
        QTest::newRow("a missing file") << "missing" << false;
        QTest::newRow("an empty path") << "empty" << false;
    }

    void sameFileByIdentity() {
        QFETCH(QString, other);
        QFETCH(bool, same);
        const QString file = path("source");
        QString second;
        if (other == "same path")
            second = file;
        else if (other == "spelling")
            second = dir.path() + "/./source";
        else if (other == "symbolic link")
            QVERIFY(makeSymbolicLink(file, second = path("link to source")));
        else if (other == "copy")
            QVERIFY(QFile::copy(file, second = path("copy of source")));
        else if (other == "missing")
            second = path("missing");
        QCOMPARE(platform::sameFile(file, second), same);
        QCOMPARE(platform::sameFile(second, file), same);
        QFile::remove(path("link to source"));
        QFile::remove(path("copy of source"));
    }

    // Other runs' staging files beside a target, of any target there, in name order; a user's
    // look-alike and a folder under a staging name are no leftovers.
    void stagingLeftoversInNameOrder() {
        const QString folder = path("leftovers");
        QVERIFY(QDir(folder).removeRecursively() && QDir().mkpath(folder));
        QStringList names;
        for (const QString target : {"b.accdb", "a.accdb", "b.accdb", "c.mdb"})
            names << stagingName(target);
        for (const QString& name : names) {
            QVERIFY(writeFile(folder + "/" + name, "stopped run's"));
            QVERIFY(test::setDosAttributes(folder + "/" + name, Attr::Hidden).isEmpty());
        }
        QVERIFY(writeFile(folder + "/.a.accdb.tarsel-my-draft", "a user's"));
        QVERIFY(QDir().mkdir(folder + "/" + stagingName("d.accdb")));
        names.sort();
        QStringList found;
        for (const StagingLeftover& left : stagingLeftovers(folder + "/a.accdb"))
            found << left.name;
        QCOMPARE(found, names);
    }

    // Only the file it was: a file that took its name since stays.
    void removesOnlyTheSameFile() {
        QVERIFY(writeFile(path("same"), "first"));
        const std::optional<FileId> first = fileIdOf(path("same"));
        QVERIFY(first);
        // The first file kept under another name, so that the second cannot reuse its inode.
        QVERIFY(QFile::rename(path("same"), path("kept")) && writeFile(path("same"), "second"));
        QVERIFY(fileIdOf(path("same")) != first);
        removeIfSame(path("same"), *first);
        QCOMPARE(readFile(path("same")), QByteArray("second"));
        removeIfSame(path("same"), *fileIdOf(path("same")));
        QVERIFY(!QFileInfo::exists(path("same")));
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
