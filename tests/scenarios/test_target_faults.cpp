#include "scenarios/WindowScenario.h"

using namespace tarsel;
using test::copying;
using test::Facility;
using test::missing;
using test::onProgress;
using test::readFile;
using test::ReleaseFixture;
using test::writeFile;

namespace {

const QString DesignText =
    QStringLiteral("We are terminating conflicting programs, please wait...");
constexpr uint Nobody = 65534;

// Everything that writing to a file, its times, mode or attributes would change.
struct Footprint {
    QByteArray bytes;
    QByteArray metadata;

    explicit Footprint(const QString& path)
        : bytes(readFile(path)), metadata(test::metadataOf(path)) {}
    bool operator==(const Footprint&) const = default;
};

} // namespace

// Targets that go wrong in every way a file system allows: not a plain file, the release itself,
// links planted by others, names too long, a file nobody may replace.
class TestTargetFaults : public test::WindowScenario {
    Q_OBJECT

private slots:
    void init() { QVERIFY(layOut()); }

    void cleanup() { fixture_.reset(); }

    // A link at the target is replaced, never followed; a folder there is refused untouched.
    void targetIsNotAPlainFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a symbolic link") << "link";
        QTest::newRow("a dangling symbolic link") << "dangling";
    }

    void targetIsNotAPlainFile() {
        QFETCH(QString, kind);
        const QString elsewhere = files_.root() + "/elsewhere";
        const QString pointee = elsewhere + (kind == "link" ? "/app.mdb" : "/none.mdb");
        if (const QString why = missing(Facility::SymbolicLink, files_.liveFolder());
            kind != "folder" && !why.isEmpty())
            QSKIP(qPrintable(why));
        QVERIFY(QDir().mkpath(elsewhere) && QFile::remove(files_.target));
        if (kind == "folder")
            QVERIFY(QDir().mkdir(files_.target) &&
                    writeFile(files_.target + "/inside", files_.oldBytes));
        else
            QVERIFY(test::makeSymbolicLink(pointee, files_.target));
        if (kind == "link")
            QVERIFY(writeFile(pointee, files_.oldBytes));

        frmCopyRoutine& window = openOn(files_.source, files_.target);
        typeTargetAndCopy(window);

        if (kind == "folder") {
            QCOMPARE(window.Label2->text(), CopyErrorText + "app.mdb");
            QCOMPARE(readFile(files_.target + "/inside"), files_.oldBytes);
            QCOMPARE(files_.stagingFiles(), QStringList());
            QCOMPARE(fixture_->ended, 0);
            QVERIFY(test::stillAnswers(window));
            return;
        }
        expectNewInService(window, files_.target);
        if (kind == "link")
            QCOMPARE(readFile(pointee), files_.oldBytes);
        else
            QVERIFY(!QFileInfo::exists(pointee));
    }

    // The same file by its path or through a link (a hard link is in tests/app): never emptied.
    void sameFileIsRefused_data() {
        QTest::addColumn<bool>("throughALink");
        QTest::newRow("same path") << false;
        QTest::newRow("symbolic link") << true;
    }

    void sameFileIsRefused() {
        QFETCH(bool, throughALink);
        QString target = files_.source;
        if (throughALink) {
            if (const QString why = missing(Facility::SymbolicLink, files_.liveFolder());
                !why.isEmpty())
                QSKIP(qPrintable(why));
            target = files_.target;
            QVERIFY(QFile::remove(target) && test::makeSymbolicLink(files_.source, target));
        }
        frmCopyRoutine& window = openOn(files_.source, target);
        typeTargetAndCopy(window);
        QCOMPARE(boxTexts(),
                 QStringList{report("75 (The new release and the current version are the same "
                                    "file: " +
                                    target)});
        QCOMPARE(window.Label2->text(), DesignText);
        QCOMPARE(readFile(files_.source), files_.newBytes);
        QCOMPARE(QFileInfo(target).isSymLink(), throughALink);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(fixture_->ended, 0);
        QVERIFY(test::stillAnswers(window));
    }

    // Links another user left at names of the staging file's form are neither followed nor
    // removed, and nothing outside the folder is touched.
    void linksAtStagingNamesAreNeverFollowed() {
        if (const QString why = missing(Facility::SymbolicLink, files_.liveFolder());
            !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString victim = files_.root() + "/elsewhere/victim.mdb";
        const QString absent = files_.root() + "/elsewhere/absent.mdb";
        QVERIFY(QDir().mkpath(files_.root() + "/elsewhere") && writeFile(victim, "not yours"));
        const QString live = files_.liveFolder() + "/.app.mdb.tarsel-";
        const QStringList planted{live + "AAAAAAAAAAAA", live + "BBBBBBBBBBBB",
                                  live + "CCCCCCCCCCCC"};
        QVERIFY(test::makeSymbolicLink(victim, planted[0]) &&
                test::makeSymbolicLink(absent, planted[1]) &&
                writeFile(planted[2], "another user's file"));
        QVERIFY(test::untouchedForLong(planted[2]));
        for (const QString& name : planted)
            if (test::runsAsRoot())
                QVERIFY(test::changeOwner(name, Nobody));
        const Footprint before(victim);

        frmCopyRoutine& window = openOn(files_.source, files_.target);
        typeTargetAndCopy(window);

        QCOMPARE(fixture_->ended, 1);
        QCOMPARE(readFile(files_.target), files_.newBytes);
        QVERIFY(Footprint(victim) == before);
        QVERIFY(!QFileInfo::exists(absent));
        QVERIFY(QFileInfo(planted[0]).isSymLink() && QFileInfo(planted[1]).isSymLink());
        // Another user's file stays; as that user ourselves, it is an orphan and goes.
        QCOMPARE(QFileInfo::exists(planted[2]), test::runsAsRoot());
    }

    // Someone moves the staging file away mid-copy and leaves a link to a file outside in its
    // place: nothing is stamped or written through the link, and the link is not put in service.
    void stagingFileSwappedForALink() {
        if (const QString why = missing(Facility::RenameHeldFile, files_.liveFolder());
            !why.isEmpty())
            QSKIP(qPrintable(why));
        if (const QString why = missing(Facility::SymbolicLink, files_.liveFolder());
            !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString victim = files_.root() + "/elsewhere/victim.mdb";
        QVERIFY(QDir().mkpath(files_.root() + "/elsewhere") && writeFile(victim, "not yours"));
        QVERIFY(QFile::setPermissions(victim, QFile::ReadOwner));
        const Footprint before(victim);
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        QString staging;
        onProgress(
            window, [&] { return copying(window); },
            [&] {
                staging = files_.liveFolder() + '/' + files_.stagingFiles().value(0);
                QVERIFY(QFile::rename(staging, files_.liveFolder() + "/moved-away"));
                QVERIFY(test::makeSymbolicLink(victim, staging));
            });
        typeTargetAndCopy(window);

        QVERIFY(Footprint(victim) == before);
        QCOMPARE(window.Label2->text(), CopyErrorText + "app.mdb");
        QCOMPARE(boxTexts(), QStringList{report("53 (" + staging + ": No such file or directory")});
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QVERIFY(QFileInfo(staging).isSymLink());
        QCOMPARE(fixture_->ended, 0);
        QVERIFY(test::stillAnswers(window));
    }

    void nonAsciiNames_data() {
        QTest::addColumn<bool>("folderThere");
        QTest::newRow("copied") << true;
        QTest::newRow("target folder missing") << false;
    }

    void nonAsciiNames() {
        QFETCH(bool, folderThere);
        const QString name = QString::fromUtf8("Frontend ✓ Übersicht 版本.mdb");
        const QString source = files_.root() + QString::fromUtf8("/release/Ausgabe – ñ/") + name;
        const QString live = files_.root() + QString::fromUtf8("/live/Büro ☃");
        QVERIFY(QDir().mkpath(QFileInfo(source).path()) && writeFile(source, files_.newBytes));
        if (folderThere)
            QVERIFY(QDir().mkpath(live) && writeFile(live + '/' + name, files_.oldBytes));

        // The paths as the system writes them: with backslashes on Windows.
        const QString target = QDir::toNativeSeparators(live + '/' + name);
        frmCopyRoutine& window = openOn(QDir::toNativeSeparators(source), target);
        typeTargetAndCopy(window);
        if (folderThere) {
            expectNewInService(window, target);
        } else {
            QCOMPARE(window.Label2->text(), CopyErrorText + name);
            QVERIFY(!QFileInfo::exists(live));
            QVERIFY(test::stillAnswers(window));
        }
    }

    // A name the file system cannot hold fails the move; a path it cannot resolve fails the copy.
    void overlongTargetName() {
        const QString target = files_.liveFolder() + '/' + QString(300, 'n') + ".mdb";
        frmCopyRoutine& window = openOn(files_.source, target);
        typeTargetAndCopy(window);
        QCOMPARE(window.Label2->text(), CopyErrorText + "app.mdb");
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(QDir(files_.liveFolder()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"app.mdb"});
        QVERIFY(test::stillAnswers(window));
        if (const QString why = missing(Facility::NameTooLongError); !why.isEmpty())
            QSKIP(qPrintable("all but the error report checked: " + why));
        QCOMPARE(boxTexts(), QStringList{report("75 (" + target + ": " + test::nameTooLongText())});
    }

    void overlongTargetPath() {
        if (const QString why = missing(Facility::PathMaxLimit); !why.isEmpty())
            QSKIP(qPrintable(why));
        // 21 folders of 200 bytes: the path passes 4,096 bytes, each name stays legal.
        const test::DeepFolders deep(files_.liveFolder(), QString(200, u'd'), 21);
        const QString deepest = deep.reachable();
        QVERIFY(!deepest.isEmpty());
        const QString target = deep.path() + "/app.mdb";
        QVERIFY(QFile::encodeName(target).size() > 4096);
        QVERIFY(writeFile(deepest + "/app.mdb", files_.oldBytes));

        frmCopyRoutine& window = openOn(files_.source, target);
        typeTargetAndCopy(window);

        QCOMPARE(window.Label2->text(), CopyErrorText + "app.mdb");
        QCOMPARE(boxTexts(), QStringList());
        QCOMPARE(readFile(deepest + "/app.mdb"), files_.oldBytes);
        QCOMPARE(ReleaseFixture::stagingFilesIn(deepest), QStringList());
        QVERIFY(test::stillAnswers(window));
    }

    void immutableTarget() {
        if (const QString why = missing(Facility::ImmutableFile); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (QProcess::execute("chattr", {"+i", files_.target}) != 0)
            QSKIP("chattr +i failed: it needs root (CAP_LINUX_IMMUTABLE), a file system with "
                  "that flag (ext4) and the Debian package e2fsprogs");
        const auto mutableAgain = qScopeGuard([&] {
            QProcess::execute("chattr", {"-i", files_.target});
        });
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        typeTargetAndCopy(window);
        expectOldKept(window, CopyErrorText + "app.mdb",
                      {report("70 (" + files_.target + ": Operation not permitted")});
    }
};

QTEST_MAIN(TestTargetFaults)
#include "test_target_faults.moc"
