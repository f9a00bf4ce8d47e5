#include "scenarios/WindowScenario.h"

#include <QCryptographicHash>

#include <filesystem>

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
        QTest::addColumn<bool>("published"); // with a .sha256 that gives the release's digest
        QTest::newRow("truncated") << "truncate" << false << false;
        QTest::newRow("deleted") << "delete" << false << false;
        QTest::newRow("grown") << "grow" << false << false;
        QTest::newRow("rewritten in place, same length") << "rewrite" << false << false;
        QTest::newRow("rewritten, its modification time put back")
            << "rewrite, old time" << false << false;
        QTest::newRow("rewritten during the verification") << "rewrite" << true << false;
        // The checksum read with the release tells its bytes from its name: a publisher who puts
        // the next release in place by a rename, or removes this one, changes no byte of it.
        QTest::newRow("published, the next release renamed over it: it goes in whole")
            << "rename over" << false << true;
        QTest::newRow("published, renamed over during the verification: it goes in whole")
            << "rename over" << true << true;
        QTest::newRow("published, deleted: it goes in whole") << "delete" << false << true;
        QTest::newRow("published, rewritten in place: refused")
            << "rewrite, old time" << false << true;
    }

    void releaseChangesDuringTheCopy() {
        QFETCH(QString, change);
        QFETCH(bool, verifying);
        QFETCH(bool, published);
        if (published)
            QVERIFY(test::writeFile(
                files_.source + ".sha256",
                QCryptographicHash::hash(files_.newBytes, QCryptographicHash::Sha256).toHex() +
                    "  app.mdb\n"));
        frmCopyRoutine& window = openOn(files_.source, files_.target);
        bool changed = false;
        std::error_code renamed; // where the system refuses to rename over a file held open
        const QDateTime modified = QFileInfo(files_.source).lastModified();
        onProgress(
            window,
            [&] {
                return verifying ? window.lblStatus->text() == VerifyingText + files_.target
                                 : copying(window);
            },
            [&] {
                QFile release(files_.source);
                if (change == "rename over") {
                    const QString next = files_.source + ".next";
                    changed = test::writeFile(next, "the next release");
                    std::filesystem::rename(next.toStdWString(), files_.source.toStdWString(),
                                            renamed);
                    changed = changed && !renamed;
                } else if (change == "delete")
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
        if (renamed)
            QSKIP(qPrintable("this system refuses to rename over a file that a program holds "
                             "open: " +
                             QString::fromStdString(renamed.message())));
        QVERIFY(changed);
        // Where a removed file stays as it was for whoever holds it open, what the run copied is
        // the whole release as it opened it, unchanged.
        if ((change == "delete" &&
             !test::missing(test::Facility::RemovingMovesOpenFile).isEmpty()) ||
            (published && (change == "delete" || change == "rename over"))) {
            expectNewInService(window, files_.target);
            QCOMPARE(test::readFile(files_.target + ".sha256"),
                     QCryptographicHash::hash(files_.newBytes, QCryptographicHash::Sha256).toHex() +
                         "  app.mdb\n");
            return;
        }
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
