#include "scenarios/WindowScenario.h"

using namespace tarsel;
using test::copying;
using test::onProgress;
using test::readFile;

// Releases that are not files or change while they are copied, and a window closed mid-run.
class TestReleaseFaults : public test::WindowScenario {
    Q_OBJECT

private slots:
    void init() { QVERIFY(layOut()); }

    void cleanup() { fixture_.reset(); }

    // Sources that never end or never begin: refused at once, without waiting for a writer.
    void releaseIsNotAFile_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("a FIFO") << "fifo";
        QTest::newRow("a device") << test::deviceFile(); // /dev/zero; NUL on Windows
    }

    void releaseIsNotAFile() {
        QFETCH(QString, source);
        if (source == "fifo") {
            if (const QString why = test::missing(test::Facility::Fifo); !why.isEmpty())
                QSKIP(qPrintable(why));
            source = files_.root() + "/release/fifo";
            QVERIFY(test::makeFifo(source));
        }
        frmCopyRoutine& window = openOn(source, files_.target);
        typeTargetAndCopy(window);
        expectOldKept(window, CopyErrorText + QFileInfo(source).fileName());
    }

    // A release that changes while it is copied or verified is one being published (or removed):
    // refused, whatever the run read of it, with the old version kept.
    void releaseChangesDuringTheCopy_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("verifying");
        QTest::newRow("truncated") << "truncate" << false;
        QTest::newRow("deleted") << "delete" << false;
        QTest::newRow("grown") << "grow" << false;
        QTest::newRow("rewritten in place, same length") << "rewrite" << false;
        QTest::newRow("rewritten, its modification time put back") << "rewrite, old time" << false;
        QTest::newRow("rewritten during the verification") << "rewrite" << true;
    }

    void releaseChangesDuringTheCopy() {
        QFETCH(QString, change);
        QFETCH(bool, verifying);
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        bool changed = false;
        const QDateTime modified = QFileInfo(files_.source).lastModified();
        onProgress(
            window,
            [&] {
                return verifying ? window.lblStatus->text() == VerifyingText + files_.target
                                 : copying(window);
            },
            [&] {
                QFile release(files_.source);
                if (change == "delete")
                    changed = release.remove();
                else if (change == "truncate")
                    changed = release.resize(40000);
                else if (change == "grow")
                    changed = release.open(QIODevice::Append) && release.write("more") == 4;
                else
                    changed = release.open(QIODevice::ReadWrite) &&
                              release.write(QByteArray(4096, 'x')) == 4096;
                if (change == "rewrite, old time")
                    changed =
                        changed && release.setFileTime(modified, QFileDevice::FileModificationTime);
            });
        typeTargetAndCopy(window);
        QVERIFY(changed);
        // Where a removed file stays as it was for whoever holds it open, what the run copied is
        // the whole release as it opened it, unchanged.
        if (change == "delete" && !test::missing(test::Facility::RemovingMovesOpenFile).isEmpty())
            return expectNewInService(window, files_.target);
        expectOldKept(window, CopyErrorText + "app.mdb",
                      {report("516 (The new release changed while it was copied: " + files_.source +
                              ". It is being published; the next run takes it "
                              "once it is complete.")});
    }

    void windowClosedDuringTheRun_data() {
        QTest::addColumn<bool>("verifying");
        QTest::newRow("during the copy") << false;
        QTest::newRow("during the verification") << true;
    }

    void windowClosedDuringTheRun() {
        QFETCH(bool, verifying);
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        window.show();
        onProgress(
            window,
            [&] {
                return verifying ? window.lblStatus->text() == VerifyingText + files_.target &&
                                       window.ProgressBar1->value() < 50
                                 : copying(window);
            },
            [&] { QTimer::singleShot(0, &window, [&] { window.close(); }); });
        typeTargetAndCopy(window);
        QCOMPARE(fixture_->ended, 1);
        QCOMPARE(readFile(files_.target), files_.oldBytes);
        QCOMPARE(files_.stagingFiles(), QStringList());
        QCOMPARE(boxTexts(), QStringList());
    }
};

QTEST_MAIN(TestReleaseFaults)
#include "test_release_faults.moc"
