#include "app/ReleaseWorkflow.h"
#include "filetime/GeneralDate.h"
#include "filetime/ReadFileDate.h"
#include "support/ReleaseFixture.h"
#include "support/WindowFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace tarsel;
using test::Facility;
using test::missing;
using test::readFile;
using test::WindowFixture;

// The Copy button pressed in the window, with the window's own handlers and event loop.
class TestCopyFromWindow : public QObject {
    Q_OBJECT

    test::ReleaseFixture files_;
    QString source_, target_;
    QByteArray newBytes_, oldBytes_;

    bool noStagingLeft() const { return files_.stagingFiles().isEmpty(); }

    frmCopyRoutine& openWithPaths(WindowFixture& fixture) {
        fixture.store(NewVersionLocation, source_);
        fixture.store(RunningVersionLocation, target_);
        return fixture.open();
    }

private slots:
    void init() {
        QVERIFY(files_.reset(test::patternBytes(9 * 32767 + 17), QByteArray(5000, 'o')));
        source_ = files_.source;
        target_ = files_.target;
        newBytes_ = files_.newBytes;
        oldBytes_ = files_.oldBytes;
        QVERIFY(QFile::setPermissions(target_, QFile::ReadOwner));
    }

    void copyReplacesStampsVerifiesAndEnds_data() {
        QTest::addColumn<bool>("republished");
        QTest::newRow("the release as shown") << false;
        QTest::newRow("republished while the window was open") << true;
    }

    void copyReplacesStampsVerifiesAndEnds() {
        QFETCH(bool, republished);
        WindowFixture fixture;
        frmCopyRoutine& window = openWithPaths(fixture);
        QVERIFY(window.cmdCopy->isEnabled());
        QDateTime modified = CDate(window.SourceModifiedDate->text());
        if (republished) {
            // The stamp tells releases apart: it must come from the release being copied.
            modified = modified.addDays(-3);
            QFile release(source_);
            QVERIFY(release.open(QIODevice::ReadWrite) &&
                    release.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        window.cmdCopy->click();
        QCOMPARE(CDate(window.SourceModifiedDate->text()), modified);

        QCOMPARE(readFile(target_), newBytes_);
        QCOMPARE(fixture.ended, 1);
        QVERIFY(!window.Timer1->isActive());
        QCOMPARE(window.Label2->text(), SuccessText);
        QCOMPARE(window.lblStatus->text(), VerifyingText + target_);
        QVERIFY(window.cmdCopy->isEnabled() && window.cmdPath[0]->isEnabled() &&
                window.cmdPath[1]->isEnabled() && window.chkVerify->isEnabled());
        QCOMPARE(fixture.stored(NewVersionLocation), source_);
        QCOMPARE(fixture.stored(RunningVersionLocation), target_);
        QVERIFY(noStagingLeft());
        QVERIFY(fixture.dialogs.boxes.isEmpty());
        if (const QString why = missing(Facility::CreationTime, files_.liveFolder());
            !why.isEmpty())
            QSKIP(qPrintable("all but the creation date checked: " + why));
        QCOMPARE(ReadFileDate(window.records, target_, Created), modified.addSecs(60));
    }

    void failedCopyLeavesTheWindowWaiting() {
        WindowFixture fixture;
        frmCopyRoutine& window = openWithPaths(fixture);
        window.txtTarget->setText(files_.root() + "/missing/app.mdb");
        window.cmdCopy->click();
        QCOMPARE(window.Label2->text(), CopyErrorText + "app.mdb");
        QVERIFY(!window.cmdCopy->isEnabled() && !window.cmdPath[0]->isEnabled());
        QVERIFY(window.txtSource->isEnabled() && window.txtTarget->isEnabled());
        QCOMPARE(fixture.ended, 0);
        QCOMPARE(readFile(target_), oldBytes_);
    }

    void verificationDifferenceIsShownAndTheOldVersionStays() {
        if (const QString why = test::missing(test::Facility::WriteHeldFile); !why.isEmpty())
            QSKIP(qPrintable(why));
        WindowFixture fixture;
        frmCopyRoutine& window = openWithPaths(fixture);
        // Once the copy is made, a byte of it changes before the verification.
        QTimer spoiler;
        connect(&spoiler, &QTimer::timeout, this, [&] {
            if (window.ProgressBar1->value() == 100 && window.lblStatus->text() == "Status: Idle") {
                const QString folder = QFileInfo(target_).absolutePath();
                const QStringList staging = test::ReleaseFixture::stagingFilesIn(folder);
                QFile copy(folder + '/' + staging.value(0));
                if (copy.open(QIODevice::ReadWrite) && copy.seek(100))
                    copy.write(QByteArray(1, char(~newBytes_[100])));
                spoiler.stop();
            }
        });
        spoiler.start(10);
        window.cmdCopy->click();

        QCOMPARE(window.Label2->text(), VerifyFailedText);
        QCOMPARE(fixture.ended, 0);
        QVERIFY(window.Timer1->isActive());
        QVERIFY(window.cmdCopy->isEnabled());
        QCOMPARE(readFile(target_), oldBytes_);
        QVERIFY(noStagingLeft());
    }

    void closingDuringTheCopyCancelsAndEnds() {
        WindowFixture fixture;
        frmCopyRoutine& window = openWithPaths(fixture);
        window.show();
        QTimer::singleShot(0, &window, [&] { window.close(); });
        window.cmdCopy->click();
        QCOMPARE(fixture.ended, 1);
        QCOMPARE(readFile(target_), oldBytes_);
        QVERIFY(noStagingLeft());
        QVERIFY(fixture.dialogs.boxes.isEmpty());
    }

    void secondClickDuringARunIsIgnored() {
        WindowFixture fixture;
        frmCopyRoutine& window = openWithPaths(fixture);
        int nestedClicks = 0;
        QTimer::singleShot(0, &window, [&] {
            // Editing the target enables Copy again in the middle of the run.
            window.txtTarget->setText(target_ + "x");
            window.txtTarget->setText(target_);
            QVERIFY(window.cmdCopy->isEnabled());
            window.cmdCopy->click();
            ++nestedClicks;
        });
        window.cmdCopy->click();
        QCOMPARE(nestedClicks, 1);
        QCOMPARE(fixture.ended, 1);
        QCOMPARE(readFile(target_), newBytes_);
        QVERIFY(!QFileInfo::exists(target_ + "x"));
    }

    void sameFileThroughAHardLinkIsReported() {
        if (const QString why = missing(Facility::HardLink, files_.liveFolder()); !why.isEmpty())
            QSKIP(qPrintable(why));
        // Windows removes no read-only file.
        QVERIFY(QFile::setPermissions(target_, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(QFile::remove(target_));
        QVERIFY(test::makeHardLink(source_, target_));
        WindowFixture fixture;
        frmCopyRoutine& window = openWithPaths(fixture);
        window.cmdCopy->click();
        QCOMPARE(fixture.dialogs.boxes.size(), 1);
        QVERIFY(fixture.dialogs.boxes.first().prompt.endsWith("\r\n" + CopyTag));
        QCOMPARE(readFile(source_), newBytes_);
        QCOMPARE(fixture.ended, 0);
    }

    void sweepsRunFromTheTimer() {
        WindowFixture fixture;
        fixture.processes.running = {{4242, "MSACCESS.EXE"}};
        frmCopyRoutine& window = fixture.open();
        QCOMPARE(window.Label2->text(),
                 QString("We are terminating conflicting programs, please wait..."));
        QTRY_COMPARE_WITH_TIMEOUT(window.Label2->text(), QString("Ready For Copy......."), 10000);
        QCOMPARE(fixture.processes.terminated, QList<qint64>{4242});
        QCOMPARE(fixture.processes.queries.first(), QString("MSACCESS.EXE"));
    }
};

QTEST_MAIN(TestCopyFromWindow)
#include "test_copy_from_window.moc"
