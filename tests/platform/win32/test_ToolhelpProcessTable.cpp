#include "platform/win32/ToolhelpProcessTable.h"
#include "support/FakeSweepHost.h"
#include "support/IdleCopy.h"
#include "sweep/AccessSweep.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;

namespace {

const QString AccessQuery =
    QStringLiteral("SELECT * FROM Win32_Process WHERE Name = 'MSACCESS.EXE'");

} // namespace

// The Windows process table's own guarantees; the sweep's timing is tested with the window.
class TestToolhelpProcessTable : public QObject {
    Q_OBJECT

private slots:
    // A table that cannot be read is reported once, however many sweeps fail after it.
    void failingSnapshotIsReportedOnce() {
        platform::ToolhelpProcessTable table(
            []() -> std::vector<platform::ToolhelpProcessTable::SnapshotLine> {
                throw platform::win32::errorFrom(ERROR_ACCESS_DENIED,
                                                 QStringLiteral("The process table"));
            });
        QVERIFY_THROWS_EXCEPTION(RunTimeError, table.query(AccessQuery));
        test::FakeSweepHost host;
        AccessSweep sweep(table, host);
        for (int tick = 0; tick < 11 + 3; ++tick)
            sweep.Timer1_Timer();
        QCOMPARE(host.failures.size(), 1);
        QVERIFY2(host.failures.first().startsWith(QStringLiteral("Error 70 (")),
                 qPrintable(host.failures.first()));
        QCOMPARE(host.sweeps, 0);
    }

    // Only a process of the latest listing is ended, never one that merely has its id.
    void endsOnlyWhatTheLatestQueryListed() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        test::Child access;
        QVERIFY(test::startIdleCopy(access, dir.path(), QStringLiteral("MSACCESS.EXE")));
        platform::ToolhelpProcessTable table;
        QVERIFY(table.terminate(access.processId()) != 0);
        QCOMPARE(access.state(), QProcess::Running);

        const auto listed = table.query(AccessQuery);
        QVERIFY(std::any_of(listed.begin(), listed.end(), [&](const platform::ProcessEntry& p) {
            return p.pid == access.processId() && p.name == QStringLiteral("MSACCESS.EXE");
        }));
        QCOMPARE(table.terminate(access.processId()), 0);
        QVERIFY(access.waitForFinished(5000));
    }

    // A snapshot lists an id that now names another process. ERROR_INVALID_PARAMETER is the
    // table's own refusal; under Wine, a process of another image that reached TerminateProcess
    // would be refused with ERROR_ACCESS_DENIED instead, and fail the test.
    void idOfAnotherProcessIsNeitherAskedNorEnded_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("startedAfterSnapshot");
        QTest::newRow("id reused by a later Access") << "MSACCESS.EXE" << true;
        QTest::newRow("id reused by another program") << "bystander.exe" << false;
    }

    void idOfAnotherProcessIsNeitherAskedNorEnded() {
        QFETCH(QString, fileName);
        QFETCH(bool, startedAfterSnapshot);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        test::Child other;
        auto start = [&] { return test::startIdleCopy(other, dir.path(), fileName); };
        if (!startedAfterSnapshot)
            QVERIFY(start());
        bool started = !startedAfterSnapshot;
        platform::ToolhelpProcessTable table([&] {
            if (!started)
                started = start();
            return std::vector<platform::ToolhelpProcessTable::SnapshotLine>{
                {DWORD(other.processId()), QStringLiteral("MSACCESS.EXE")}};
        });

        const auto listed = table.query(AccessQuery);
        QVERIFY(started);
        QCOMPARE(listed.size(), size_t(1));
        QCOMPARE(listed.front().pid, other.processId());
        QVERIFY(!table.requestClose(other.processId()));
        QCOMPARE(table.terminate(other.processId()), int(ERROR_INVALID_PARAMETER));
        QCOMPARE(other.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestToolhelpProcessTable)
#include "test_ToolhelpProcessTable.moc"
