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

    void releaseChangesDuringTheCopy_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("label2");
        QTest::newRow("truncated") << "truncate" << CopyErrorText + "app.mdb";
        // The run copies and verifies the release as it opened it, whatever becomes of its name.
        QTest::newRow("deleted") << "delete" << SuccessText;
        QTest::newRow("grown") << "grow" << VerifyFailedText;
    }

    void releaseChangesDuringTheCopy() {
        QFETCH(QString, change);
        QFETCH(QString, label2);
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        bool changed = false;
        onProgress(
            window, [&] { return copying(window); },
            [&] {
                QFile release(files_.source);
                changed = change == "delete" ? release.remove()
                          : change == "truncate"
                              ? release.resize(40000)
                              : release.open(QIODevice::Append) && release.write("more") == 4;
            });
        typeTargetAndCopy(window);
        QVERIFY(changed);
        if (label2 == SuccessText)
            expectNewInService(window, files_.target);
        else
            expectOldKept(window, label2);
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
