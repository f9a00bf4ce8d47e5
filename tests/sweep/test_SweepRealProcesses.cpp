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

const QString AccessImage = QStringLiteral("MSACCESS.EXE");

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
    QTest::addColumn<bool>("deaf");     // does not close when asked

    QTest::newRow("image file MSACCESS.EXE") << "MSACCESS.EXE" << QString() << false;
    QTest::newRow("image file in other case") << "msaccess.exe" << QString() << false;
    QTest::newRow("command name under a long file name") << "long-named-idle-copy"
                                                         << "MSACCESS.EXE" << false;
    QTest::newRow("Windows path as command name, as under Wine")
        << "wine64-preloader"
        << R"(C:\Program Files\Microsoft Office\Office16\MSACCESS.EXE)" << false;
    QTest::newRow("deaf to the ask: ended at the next sweep")
        << "MSACCESS.EXE" << QString() << true;
}

void TestSweepRealProcesses::timerSweepEndsAccess() {
    QFETCH(QString, fileName);
    QFETCH(QString, argv0);
    QFETCH(bool, deaf);
    if (const QString why = test::missing(test::Facility::CommandName);
        !argv0.isEmpty() && !why.isEmpty())
        QSKIP(qPrintable(why));
    const QString whyNoAsk = test::missing(test::Facility::AskToClose);
    if (deaf && !whyNoAsk.isEmpty())
        QSKIP(qPrintable(whyNoAsk));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    test::Child access;
    QVERIFY(test::startIdleCopy(access, dir.path(), fileName, argv0, deaf));
    test::Child bystander;
    QVERIFY(test::startIdleCopy(bystander, dir.path(), QStringLiteral("bystander.exe")));

    const qint64 accessPid = access.processId();
    const std::unique_ptr<platform::ProcessTable> system = platform::systemProcessTable();
    test::OwnProcessesOnly table(*system, {accessPid, bystander.processId()});
    // Through bash the command name is in place only once bash has exec'd.
    auto listed = [&] {
        const auto found = table.processesNamed(AccessImage);
        return found.size() == 1 && found.front().pid == accessPid;
    };
    QTRY_VERIFY(listed());

    test::FakeSweepHost host;
    AccessSweep sweep(table, host);
    for (int tick = 0; tick < 11; ++tick)
        sweep.tick(); // the counting ticks, so the timer's first tick sweeps
    QTimer timer;
    timer.setInterval(500);
    connect(&timer, &QTimer::timeout, &timer, [&] { sweep.tick(); });
    timer.start();

    // A deaf one lasts until the sweep after the ask, 5.5 s later.
    QTRY_COMPARE_WITH_TIMEOUT(access.state(), QProcess::NotRunning, 15000);
    const QList<qint64> once{accessPid};
    QCOMPARE(table.asked, whyNoAsk.isEmpty() ? once : QList<qint64>());
    QCOMPARE(table.ended, whyNoAsk.isEmpty() && !deaf ? QList<qint64>() : once);
    // Ended from outside: killed by a signal, or on Windows ended with an exit code of ours.
    QVERIFY(access.exitStatus() == QProcess::CrashExit || access.exitCode() != 0);
    QVERIFY(host.sweeps >= 1);
    QCOMPARE(bystander.state(), QProcess::Running);
    QVERIFY(host.failures.isEmpty());
}

QTEST_GUILESS_MAIN(TestSweepRealProcesses)
#include "test_SweepRealProcesses.moc"
