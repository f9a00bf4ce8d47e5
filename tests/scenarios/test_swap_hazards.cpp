#include "platform/DirectorySearch.h"
#include "scenarios/WindowScenario.h"
#include "support/IdleCopy.h"
#include "support/LockFileSlots.h"

#include <QTimer>

using namespace tarsel;
using test::Facility;
using test::missing;
using test::readFile;

// What stands between a verified copy and the old version's name: another program holding it, its
// attribute bits, another spelling of the same file, a full drive. Rows that only Windows brings
// skip on Linux, with the reason.
class TestSwapHazards : public test::WindowScenario {
    Q_OBJECT

private slots:
    void init() { QVERIFY(layOut()); }

    void cleanup() { fixture_.reset(); }

    void targetHeldOpenByAnotherProgram_data() {
        QTest::addColumn<int>("holdMs");          // -1: never lets go
        QTest::addColumn<QByteArray>("lockFile"); // beside the target, app.ldb
        QTest::addColumn<QString>("names");       // what the error report adds
        QTest::newRow("lets go during the retries") << 700 << QByteArray() << QString();
        QTest::newRow("holds it throughout") << -1 << QByteArray() << QString();
        QTest::newRow("holds it throughout, computers in the lock file")
            << -1 << test::lockFileSlot("DESK-12", "Admin") + test::lockFileSlot("DESK-40", "Admin")
            << "; recorded in app.ldb (may include people who have left): DESK-12 (Admin), DESK-40 "
               "(Admin)";
    }

    void targetHeldOpenByAnotherProgram() {
        QFETCH(int, holdMs);
        QFETCH(QByteArray, lockFile);
        QFETCH(QString, names);
        if (const QString why = missing(Facility::HeldFileBlocksSwap); !why.isEmpty())
            QSKIP(qPrintable(why));
        if (!lockFile.isEmpty())
            QVERIFY(test::writeFile(files_.liveFolder() + "/app.ldb", lockFile));
        QCOMPARE(test::setDosAttributes(files_.target, platform::Attr::ReadOnly), QString());
        test::Child holder;
        QVERIFY(test::startHolder(holder, files_.target, holdMs));
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        // While the swap is retried the staging file stays hidden: a run killed meanwhile leaves
        // nothing that the next run would not recognise and remove.
        QList<bool> hidden;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (const QString& name : files_.stagingFiles())
                hidden << bool(platform::attributesOf(files_.liveFolder() + '/' + name) &
                               platform::Attr::Hidden);
        });
        watch.start(50);
        typeTargetAndCopy(window);
        watch.stop();
        QVERIFY(hidden.size() > 3);
        QVERIFY(!hidden.contains(false));
        if (holdMs >= 0) {
            expectNewInService(window, files_.target);
            return;
        }
        QCOMPARE(boxTexts().size(), 1);
        QVERIFY2(boxTexts().first().startsWith("Error 70 (" + files_.target + ": "),
                 qPrintable(boxTexts().first()));
        // The window's process table is the fixture's, which knows of no holder.
        QVERIFY2(boxTexts().first().endsWith(names + ") in procedure\r\n" + CopyTag),
                 qPrintable(boxTexts().first()));
        fixture_->dialogs.boxes.clear();
        expectOldKept(window, CopyErrorText + "app.mdb");
        // The old version keeps the read-only bit that the run cleared for the swap.
        QVERIFY(platform::attributesOf(files_.target) & platform::Attr::ReadOnly);
    }

    void targetWithAttributeBits_data() {
        QTest::addColumn<quint32>("bits");
        using namespace platform;
        QTest::newRow("read-only") << Attr::ReadOnly;
        QTest::newRow("hidden") << Attr::Hidden;
        QTest::newRow("system") << Attr::System;
        QTest::newRow("read-only, hidden and system")
            << (Attr::ReadOnly | Attr::Hidden | Attr::System);
    }

    // The new version is a new file, as if the old one had been deleted and the copy made in its
    // place: none of the old one's bits.
    void targetWithAttributeBits() {
        QFETCH(quint32, bits);
        using namespace platform;
        if (const QString why = test::setDosAttributes(files_.target, bits); !why.isEmpty())
            QSKIP(qPrintable(why));
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        typeTargetAndCopy(window);
        expectNewInService(window, files_.target);
        QCOMPARE(attributesOf(files_.target) & (Attr::ReadOnly | Attr::Hidden | Attr::System), 0u);
    }

    // Whatever the text, the same file is refused before anything is touched.
    void sameFileByAnotherSpelling() {
        const auto spellings = test::otherSpellings(files_.target);
        QVERIFY(!spellings.isEmpty());
        for (const auto& [label, spelling] : spellings) {
            frmCopyRoutine& window = openOn(spelling, files_.target);
            typeTargetAndCopy(window);
            QCOMPARE(boxTexts(),
                     QStringList{report("75 (The new release and the current version are the same "
                                        "file: " +
                                        files_.target)});
            QVERIFY2(readFile(files_.target) == files_.oldBytes, qPrintable(label));
            QVERIFY2(files_.stagingFiles().isEmpty(), qPrintable(label));
            QCOMPARE(fixture_->ended, 0);
        }
    }

    // A release larger than the drive holds.
    void fullDrive() {
        if (const QString why = missing(Facility::FullDrive); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString target = test::fullDriveRoot() + "app.mdb";
        QVERIFY(test::writeFile(files_.source, test::patternBytes(3 << 20)));
        QVERIFY(test::writeFile(target, files_.oldBytes));
        const auto removeTarget = qScopeGuard([&] { QFile::remove(target); });
        frmCopyRoutine& window = openOn(files_.source, target);
        typeTargetAndCopy(window);
        QCOMPARE(window.Label2->text(), CopyErrorText + "app.mdb");
        QCOMPARE(readFile(target), files_.oldBytes);
        QCOMPARE(test::ReleaseFixture::stagingFilesIn(test::fullDriveRoot()), QStringList());
        QCOMPARE(fixture_->ended, 0);
        QVERIFY(test::stillAnswers(window));
    }
};

QTEST_MAIN(TestSwapHazards)
#include "test_swap_hazards.moc"
