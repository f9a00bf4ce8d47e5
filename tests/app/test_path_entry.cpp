#include "filetime/GeneralDate.h"
#include "filetime/ReadFileDate.h"
#include "platform/Paths.h"
#include "support/FileFixtures.h"
#include "support/WindowFixture.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

using namespace tarsel;
using test::WindowFixture;

// Typing, browsing and hovering over the two path boxes.
class TestPathEntry : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString release_, folder_;

    static void hover(QLineEdit* box) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), box->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(box, &move);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        release_ = dir_.path() + "/release/app.mdb";
        folder_ = dir_.path() + "/live";
        QVERIFY(QDir().mkpath(dir_.path() + "/release"));
        QVERIFY(QDir().mkpath(folder_));
        QVERIFY(test::writeFile(release_, "release"));
    }

    // The source's handler checks both paths; the target's enables Copy outright.
    void copyButtonAfterAChange_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("targetLast");
        QTest::addColumn<bool>("enabled");
        const QString missing = "/no/such/place/app.mdb";
        QTest::newRow("both emptied, source last") << ""
                                                   << "" << false << false;
        QTest::newRow("both emptied, target last") << ""
                                                   << "" << true << true;
        QTest::newRow("typed target names nothing") << "src" << missing << true << true;
        QTest::newRow("file and folder, source last") << "src"
                                                      << "folder" << false << true;
        QTest::newRow("file and missing target, source last") << "src" << missing << false << false;
        QTest::newRow("missing source, source last") << "/no/app.mdb"
                                                     << "folder" << false << false;
        QTest::newRow("only the target holds a path") << ""
                                                      << "folder" << false << false;
    }

    void copyButtonAfterAChange() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, targetLast);
        QFETCH(bool, enabled);
        source.replace("src", release_);
        target.replace("folder", folder_);
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        window.txtSource->setText("x");
        window.txtTarget->setText("x");
        if (targetLast) {
            window.txtSource->setText(source);
            window.txtTarget->setText(target);
        } else {
            window.txtTarget->setText(target);
            window.txtSource->setText(source);
        }
        QCOMPARE(window.cmdCopy->isEnabled(), enabled);
        QCOMPARE(fixture.stored(NewVersionLocation), source);
        QCOMPARE(fixture.stored(RunningVersionLocation), target);
    }

    void sourceChangeShowsItsDates() {
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        window.DestinationDate->setText("kept");
        window.txtSource->setText(release_);
        FileTimeRecords records;
        QCOMPARE(window.SourceModifiedDate->text(),
                 GeneralDateText(ReadFileDate(records, release_, Modified)));
        QCOMPARE(window.DestinationDate->text(), QString("kept"));

        window.txtSource->setText(dir_.path() + "/gone.mdb");
        QCOMPARE(window.SourceCreatedDate->text(), GeneralDateText(MissingFileDate()));
        QVERIFY(!window.cmdCopy->isEnabled());

        // An empty source leaves the dates as they were.
        window.txtSource->setText("");
        QCOMPARE(window.SourceCreatedDate->text(), GeneralDateText(MissingFileDate()));
    }

    void targetChangeShowsTheTimeNow() {
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        window.SourceCreatedDate->setText("kept");
        window.txtTarget->setText("/anywhere");
        QVERIFY(qAbs(CDate(window.DestinationDate->text()).secsTo(QDateTime::currentDateTime())) <
                60);
        QCOMPARE(window.SourceCreatedDate->text(), QString("kept"));
    }

    void everyKeystrokeIsStored() {
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        QTest::keyClicks(window.txtTarget, "/a/b");
        QCOMPARE(fixture.stored(RunningVersionLocation), QString("/a/b"));
        // The typist's cursor stays where it is; the date the handler puts in shows from its start.
        QCOMPARE(window.txtTarget->cursorPosition(), 4);
        QCOMPARE(window.DestinationDate->cursorPosition(), 0);
        QTest::keyClick(window.txtTarget, Qt::Key_Backspace);
        QCOMPARE(fixture.stored(RunningVersionLocation), QString("/a/"));
    }

    void fileDialog_data() {
        QTest::addColumn<QString>("answer"); // empty: cancelled
        QTest::addColumn<QString>("expected");
        QTest::newRow("confirmed") << "src"
                                   << "src";
        QTest::newRow("cancelled") << ""
                                   << "";
    }

    void fileDialog() {
        QFETCH(QString, answer);
        QFETCH(QString, expected);
        answer.replace("src", release_);
        expected.replace("src", release_);
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        fixture.dialogs.openAnswer = answer;
        window.cmdPath[0]->click();

        QCOMPARE(fixture.dialogs.lastOpenTitle, QString("Select your source file to copy"));
        QCOMPARE(fixture.dialogs.lastOpenFilter, QString("*.*"));
        QCOMPARE(fixture.dialogs.lastOpenFileName, QString("*.*"));
        QCOMPARE(window.txtSource->text(), expected);
        QCOMPARE(window.txtSource->cursorPosition(), 0);
        QCOMPARE(fixture.stored(NewVersionLocation), expected);
        // The dates come from the first of the two changes, also after a cancel.
        FileTimeRecords records;
        QCOMPARE(
            window.SourceModifiedDate->text(),
            GeneralDateText(ReadFileDate(records, answer.isEmpty() ? "*.*" : answer, Modified)));
    }

    void folderBrowser_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("target"); // "|" stands for the system's separator
        QTest::newRow("folder and file name") << "src"
                                              << "live"
                                              << "live|app.mdb";
        QTest::newRow("root folder") << "src"
                                     << "/"
                                     << "/|app.mdb";
        QTest::newRow("no source") << ""
                                   << "live"
                                   << "live|";
        QTest::newRow("source without folder") << "app.mdb"
                                               << "live"
                                               << "live|app.mdb";
    }

    void folderBrowser() {
        QFETCH(QString, source);
        QFETCH(QString, folder);
        QFETCH(QString, target);
        source.replace("src", release_);
        folder.replace("live", folder_);
        target.replace("live", folder_).replace(u'|', platform::separator());
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        window.txtSource->setText(source);
        window.cmdCopy->setEnabled(false);
        fixture.dialogs.folderAnswer = folder;
        window.cmdPath[1]->click();

        QCOMPARE(fixture.dialogs.lastFolderTitle, QString("Select a Folder"));
        QCOMPARE(window.txtTarget->text(), target);
        QCOMPARE(window.txtTarget->cursorPosition(), 0);
        QCOMPARE(fixture.stored(RunningVersionLocation), target);
        QVERIFY(window.cmdCopy->isEnabled());
        QVERIFY(!window.BrowsingForFolder);
    }

    void cancelledFolderBrowserKeepsChecking() {
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        window.txtTarget->setText(folder_);
        window.cmdPath[1]->click();
        QCOMPARE(window.txtTarget->text(), folder_);
        QVERIFY(window.BrowsingForFolder);
        // From now on a typed target is checked: with no source the check disables Copy.
        window.txtTarget->setText("/no/such/place");
        QVERIFY(!window.cmdCopy->isEnabled());
        QVERIFY(fixture.dialogs.boxes.isEmpty());
    }

    void hoverShowsTheWholeText() {
        WindowFixture fixture;
        frmCopyRoutine& window = fixture.open();
        window.txtSource->setText(release_);
        QCOMPARE(window.txtSource->toolTip(), QString());
        hover(window.txtSource);
        QCOMPARE(window.txtSource->toolTip(), release_);
        QCOMPARE(window.txtTarget->toolTip(), QString());

        // A new text shows only from the next movement on.
        window.txtSource->setText("");
        QCOMPARE(window.txtSource->toolTip(), release_);
        hover(window.txtSource);
        QCOMPARE(window.txtSource->toolTip(), QString());

        window.txtTarget->setText(folder_);
        hover(window.txtTarget);
        QCOMPARE(window.txtTarget->toolTip(), folder_);
    }
};

QTEST_MAIN(TestPathEntry)
#include "test_path_entry.moc"
