#include "sweep/AccessSweep.h"

#include "support/FakeSweepHost.h"
#include "support/IdleCopy.h"
#include "support/OwnProcessesOnly.h"
#include "support/TestHost.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tarsel;

namespace {

const QString AccessQuery =
    QStringLiteral("SELECT * FROM Win32_Process WHERE Name = 'MSACCESS.EXE'");

} // namespace

class TestSweepRealProcesses : public QObject {
    Q_OBJECT

private slots:
    void timerSweepEndsAccess_data();
    void timerSweepEndsAccess();
};

void TestSweepRealProcesses::timerSweepEndsAccess_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("argv0"); // empty: the file's own path

    QTest::newRow("image file MSACCESS.EXE") << "MSACCESS.EXE" << QString();
    QTest::newRow("image file in other case") << "msaccess.exe" << QString();
    QTest::newRow("command name under a long file name") << "long-named-idle-copy"
                                                         << "MSACCESS.EXE";
    QTest::newRow("Windows path as command name, as under Wine")
        << "wine64-preloader"
        << R"(C:\Program Files\Microsoft Office\Office16\MSACCESS.EXE)";
}

void TestSweepRealProcesses::timerSweepEndsAccess() {
    QFETCH(QString, fileName);
    QFETCH(QString, argv0);
    if (const QString why = test::missing(test::Facility::CommandName);
        !argv0.isEmpty() && !why.isEmpty())
        QSKIP(qPrintable(why));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    test::Child access;
    QVERIFY(test::startIdleCopy(access, dir.path(), fileName, argv0));
    test::Child bystander;
    QVERIFY(test::startIdleCopy(bystander, dir.path(), QStringLiteral("bystander.exe")));

    const qint64 accessPid = access.processId();
    const std::unique_ptr<platform::ProcessTable> system = platform::systemProcessTable();
    test::OwnProcessesOnly table(*system, {accessPid, bystander.processId()});
    // Through bash the command name is in place only once bash has exec'd.
    auto listed = [&] {
        const auto found = table.query(AccessQuery);
        return found.size() == 1 && found.front().pid == accessPid;
    };
    QTRY_VERIFY(listed());

    test::FakeSweepHost host;
    AccessSweep sweep(table, host);
    for (int tick = 0; tick < 11; ++tick)
        sweep.Timer1_Timer(); // the counting ticks, so the timer's first tick sweeps
    QTimer timer;
    timer.setInterval(500);
    connect(&timer, &QTimer::timeout, &timer, [&] { sweep.Timer1_Timer(); });
    timer.start();

    QTRY_COMPARE_WITH_TIMEOUT(access.state(), QProcess::NotRunning, 10000);
    QCOMPARE(table.ended, QList<qint64>{accessPid});
    // Ended from outside: killed by a signal, or on Windows ended with an exit code of ours.
    QVERIFY(access.exitStatus() == QProcess::CrashExit || access.exitCode() != 0);
    QCOMPARE(host.labels.value(0), QStringLiteral("Ready For Copy......."));
    QCOMPARE(bystander.state(), QProcess::Running);
    QVERIFY(host.reports.isEmpty());
}

QTEST_GUILESS_MAIN(TestSweepRealProcesses)
#include "test_SweepRealProcesses.moc"
