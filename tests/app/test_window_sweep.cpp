#include "app/frmCopyRoutine.h"
#include "support/FakeDialogs.h"
#include "support/FakeProcessTable.h"
#include "support/IdleCopy.h"
#include "support/OwnProcessesOnly.h"
#include "support/TestHost.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tarsel;

// The window's own timer against the machine's real process table.
class TestWindowSweep : public QObject {
    Q_OBJECT

private slots:
    void windowEndsAccessSoonAfterItOpens_data() {
        QTest::addColumn<QString>("fileName");
        QTest::newRow("MSACCESS.EXE") << "MSACCESS.EXE";
        QTest::newRow("msaccess.exe") << "msaccess.exe";
    }

    void windowEndsAccessSoonAfterItOpens() {
        QFETCH(QString, fileName);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        test::Child access;
        QVERIFY(test::startIdleCopy(access, dir.path(), fileName));
        test::Child bystander;
        QVERIFY(test::startIdleCopy(bystander, dir.path(), QStringLiteral("bystander.exe")));

        const qint64 accessPid = access.processId();
        const std::unique_ptr<platform::ProcessTable> system = platform::systemProcessTable();
        test::OwnProcessesOnly table(*system, {accessPid, bystander.processId()});
        test::IsolatedSettings settings;
        test::FakeDialogs dialogs;
        QElapsedTimer open;
        open.start();
        frmCopyRoutine window(dialogs, table);
        window.Form_Load();

        QTRY_COMPARE_WITH_TIMEOUT(access.state(), QProcess::NotRunning, 15000);
        // The first eleven ticks of 500 ms only count.
        QVERIFY2(open.elapsed() >= 5500, qPrintable(QString::number(open.elapsed())));
        // Asked to close where it can be, else ended.
        QCOMPARE(table.asked + table.ended, QList<qint64>{accessPid});
        QCOMPARE(window.Label2->text(), QStringLiteral("Ready For Copy......."));
        QCOMPARE(bystander.state(), QProcess::Running);
        QVERIFY(dialogs.boxes.isEmpty());
    }

    // What the window makes of the sweep's news: the ready text after a sweep, the error report
    // under the timer's tag when the table cannot be read, once until a sweep succeeds.
    void sweepNewsInTheWindow() {
        test::FakeProcessTable table;
        table.failQuery =
            RunTimeError(ErrorKind::PermissionDenied, QStringLiteral("Permission denied"));
        test::IsolatedSettings settings;
        test::FakeDialogs dialogs;
        frmCopyRoutine window(dialogs, table);
        window.Timer1->stop();
        for (int tick = 0; tick < 13; ++tick)
            window.Timer1_Timer();
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].prompt,
                 QStringLiteral("Error 70 (Permission denied) in procedure\r\n"
                                "(Timer1_Timer) of (frmCopyRoutine)."));
        QCOMPARE(dialogs.boxes[0].style, 16);
        QVERIFY(window.Label2->text() != QStringLiteral("Ready For Copy......."));
        table.failQuery.reset();
        window.Timer1_Timer();
        QCOMPARE(window.Label2->text(), QStringLiteral("Ready For Copy......."));
    }
};

QTEST_MAIN(TestWindowSweep)
#include "test_window_sweep.moc"
