#include "filetime/GeneralDate.h"
#include "filetime/ReadFileDate.h"
#include "support/FileFixtures.h"
#include "support/WindowFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace tarsel;
using test::WindowFixture;

// Start-up restores the two remembered paths through the boxes' own change handlers, then shows the
// source's dates itself.
class TestStartup : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString release_;

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        release_ = dir_.path() + "/app.mdb";
        QVERIFY(test::writeFile(release_, "release"));
        QVERIFY(test::writeFile(dir_.path() + "/live.mdb", "current"));
    }

    void restore_data() {
        QTest::addColumn<QString>("source"); // "", "file" or "gone"
        QTest::addColumn<QString>("target"); // "" or "file"
        QTest::addColumn<bool>("copyEnabled");
        QTest::newRow("nothing stored") << ""
                                        << "" << true;
        QTest::newRow("both stored") << "file"
                                     << "file" << true;
        QTest::newRow("source gone") << "gone"
                                     << "file" << false;
        QTest::newRow("only the target") << ""
                                         << "file" << true;
        // The check asks for a target too.
        QTest::newRow("only the source") << "file"
                                         << "" << false;
    }

    void restore() {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(bool, copyEnabled);
        WindowFixture fixture;
        const QString sourcePath = source == "gone" ? dir_.path() + "/gone.mdb" : release_;
        const QString targetPath = dir_.path() + "/live.mdb";
        if (!source.isEmpty())
            fixture.store(NewVersionLocation, sourcePath);
        if (!target.isEmpty())
            fixture.store(RunningVersionLocation, targetPath);

        frmCopyRoutine& window = fixture.open();

        QCOMPARE(window.BlockSize, 32767);
        QCOMPARE(window.txtSource->text(), source.isEmpty() ? QString() : sourcePath);
        QCOMPARE(window.txtTarget->text(), target.isEmpty() ? QString() : targetPath);
        QCOMPARE(window.cmdCopy->isEnabled(), copyEnabled);
        // Every box that start-up fills shows its text from the first character.
        for (const QLineEdit* box :
             {window.txtSource, window.txtTarget, window.SourceCreatedDate,
              window.SourceModifiedDate, window.SourceAccessedDate, window.DestinationDate})
            QCOMPARE(box->cursorPosition(), 0);
        // Written back unchanged.
        QCOMPARE(fixture.stored(NewVersionLocation), window.txtSource->text());
        QCOMPARE(fixture.stored(RunningVersionLocation), window.txtTarget->text());

        FileTimeRecords records;
        if (source.isEmpty()) {
            QCOMPARE(window.SourceCreatedDate->text(), QString("Create Date"));
            QCOMPARE(window.SourceModifiedDate->text(), QString("Modified"));
            QCOMPARE(window.SourceAccessedDate->text(), QString("Accessed"));
        } else {
            const QString modified = GeneralDateText(ReadFileDate(records, sourcePath, Modified));
            QCOMPARE(window.SourceModifiedDate->text(), modified);
            QCOMPARE(window.SourceCreatedDate->text(),
                     GeneralDateText(ReadFileDate(records, sourcePath, Created)));
            // The source's modification date replaces the time the target's handler put there.
            QCOMPARE(window.DestinationDate->text(), modified);
            if (source == "gone")
                QCOMPARE(window.SourceAccessedDate->text(), GeneralDateText(MissingFileDate()));
        }
        if (source.isEmpty() && !target.isEmpty()) {
            const QDateTime shown = CDate(window.DestinationDate->text());
            QVERIFY(qAbs(shown.secsTo(QDateTime::currentDateTime())) < 60);
        }
        QVERIFY(fixture.dialogs.boxes.isEmpty());
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
