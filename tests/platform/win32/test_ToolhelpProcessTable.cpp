#include "platform/win32/Contracts.h"
#include "platform/win32/ToolhelpProcessTable.h"
#include "support/FakeSweepHost.h"
#include "support/FileFixtures.h"
#include "support/IdleCopy.h"
#include "support/TestHost.h"
#include "sweep/AccessSweep.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace tarsel;
using platform::ToolhelpProcessTable;
using Holders = std::optional<std::vector<platform::ProcessEntry>>;

namespace {

const QString AccessImage = QStringLiteral("MSACCESS.EXE");

// The system's Restart Manager, counted, with one step made to fail where a test says so, and
// with a list of a test's own in place of the system's where it gives one.
struct CountedRestartManager {
    int open = 0;       // sessions started and not yet ended
    int registered = 0; // calls that registered files
    QString failing;    // "start", "register" or "list"
    std::function<DWORD(UINT*, UINT*, RM_PROCESS_INFO*)> list;

    platform::RestartManager calls() {
        const platform::RestartManager system;
        platform::RestartManager counted;
        counted.startSession = [this, system](DWORD* session, WCHAR* key) {
            if (failing == "start")
                return DWORD(ERROR_WRITE_FAULT);
            const DWORD answer = system.startSession(session, key);
            open += answer == ERROR_SUCCESS;
            return answer;
        };
        counted.registerFiles = [this, system](DWORD session, UINT count, LPCWSTR* files) {
            ++registered;
            return failing == "register" ? DWORD(ERROR_INVALID_PARAMETER)
                                         : system.registerFiles(session, count, files);
        };
        counted.getList = [this, system](DWORD session, UINT* needed, UINT* count,
                                         RM_PROCESS_INFO* infos) {
            if (failing == "list")
                return DWORD(ERROR_SEM_TIMEOUT);
            return list ? list(needed, count, infos)
                        : system.getList(session, needed, count, infos);
        };
        counted.endSession = [this, system](DWORD session) {
            --open;
            return system.endSession(session);
        };
        return counted;
    }
};

quint64 creationTimeOf(qint64 pid) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool read = process && GetProcessTimes(process, &created, &exited, &kernel, &user);
    if (process)
        CloseHandle(process);
    return read ? (quint64(created.dwHighDateTime) << 32) | created.dwLowDateTime : 0;
}

RM_PROCESS_INFO listedAs(qint64 pid, quint64 started) {
    RM_PROCESS_INFO info{};
    info.Process.dwProcessId = DWORD(pid);
    info.Process.ProcessStartTime.dwLowDateTime = DWORD(started);
    info.Process.ProcessStartTime.dwHighDateTime = DWORD(started >> 32);
    return info;
}

QList<qint64> pidsOf(const std::vector<platform::ProcessEntry>& entries) {
    QList<qint64> pids;
    for (const auto& entry : entries)
        pids.append(entry.pid);
    return pids;
}

} // namespace

// The Windows process table's own guarantees; the sweep's timing is tested with the window.
class TestToolhelpProcessTable : public QObject {
    Q_OBJECT

    CountedRestartManager rm_;

private slots:
    void init() { rm_ = CountedRestartManager(); }
    // Every way out of holdersOf ends the session it started.
    void cleanup() { QCOMPARE(rm_.open, 0); }

    // A table that cannot be read is reported once, however many sweeps fail after it.
    void failingSnapshotIsReportedOnce() {
        platform::ToolhelpProcessTable table(
            []() -> std::vector<platform::ToolhelpProcessTable::SnapshotLine> {
                throw platform::win32::errorFrom(ERROR_ACCESS_DENIED,
                                                 QStringLiteral("The process table"));
            });
        QVERIFY_THROWS_EXCEPTION(RunTimeError, table.processesNamed(AccessImage));
        test::FakeSweepHost host;
        AccessSweep sweep(table, host);
        for (int tick = 0; tick < 11 + 3; ++tick)
            sweep.tick();
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

        const auto listed = table.processesNamed(AccessImage);
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

        const auto listed = table.processesNamed(AccessImage);
        QVERIFY(started);
        QCOMPARE(listed.size(), size_t(1));
        QCOMPARE(listed.front().pid, other.processId());
        QVERIFY(!table.requestClose(other.processId()));
        QCOMPARE(table.terminate(other.processId()), int(ERROR_INVALID_PARAMETER));
        QCOMPARE(other.state(), QProcess::Running);
    }

    // The holder shares reading and writing but not deleting, as Access does, so the swap cannot
    // replace the file meanwhile. Only Windows itself lists it: Wine's Restart Manager is a stub
    // whose list is always empty, so under Wine the answer is that none can be given, and the
    // caller falls back on its own rule.
    void heldFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("app.accdb"));
        QVERIFY(test::writeFile(file, "db"));
        test::Child holder;
        QVERIFY(test::startHolder(holder, file, -1));
        ToolhelpProcessTable table({}, rm_.calls());

        const Holders found = table.holdersOf({file});

        if (!test::wineVersion().isEmpty()) {
            QVERIFY(!found);
            return;
        }
        QVERIFY(found);
        QCOMPARE(pidsOf(*found), QList<qint64>{holder.processId()});
        QCOMPARE(found->front().name, QStringLiteral("tarsel_holder.exe"));
        QVERIFY(found->front().ownedByUser);
    }

    void nobodyHolds_data() {
        QTest::addColumn<QStringList>("paths"); // in the test's folder
        QTest::addColumn<int>("registered");    // calls that reached RmRegisterResources
        using L = QStringList;
        QTest::newRow("a file nobody holds") << L{"free"} << 1;
        QTest::newRow("two files nobody holds") << L{"free", "free too"} << 1;
        QTest::newRow("a missing path beside it") << L{"missing", "free"} << 1;
        QTest::newRow("only a missing path") << L{"missing"} << 0;
        QTest::newRow("a path through a missing folder") << L{"gone/free"} << 0;
        QTest::newRow("no paths") << L{} << 0;
    }

    // An empty list, not "cannot tell": nothing is held, so nothing needs ending.
    void nobodyHolds() {
        QFETCH(QStringList, paths);
        QFETCH(int, registered);
        QTemporaryDir dir;
        QVERIFY(test::writeFile(dir.filePath(QStringLiteral("free")), "db"));
        QVERIFY(test::writeFile(dir.filePath(QStringLiteral("free too")), "db"));
        QStringList asked;
        for (const QString& path : paths)
            asked.append(dir.filePath(path));
        ToolhelpProcessTable table({}, rm_.calls());

        const Holders found = table.holdersOf(asked);

        QVERIFY(found);
        QVERIFY(found->empty());
        QCOMPARE(rm_.registered, registered);
    }

    void folder_data() {
        QTest::addColumn<bool>("withFile");
        QTest::newRow("a folder") << false;
        QTest::newRow("a file and a folder") << true;
    }

    // A folder is no front end or lock file: held by nobody, and never registered, as Windows
    // fails the list of a session that registered one (Wine takes it). The file beside it is
    // still answered for: a lock file that is a folder never makes the answer unknown.
    void folder() {
        QFETCH(bool, withFile);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("app.accdb"));
        QVERIFY(test::writeFile(file, "db"));
        ToolhelpProcessTable table({}, rm_.calls());

        const Holders found =
            table.holdersOf(withFile ? QStringList{file, dir.path()} : QStringList{dir.path()});

        QVERIFY(found);
        QVERIFY(found->empty());
        QCOMPARE(rm_.registered, withFile ? 1 : 0);
    }

    void restartManagerFails_data() {
        QTest::addColumn<QString>("step");
        QTest::newRow("no session") << "start";
        QTest::newRow("files not registered") << "register";
        QTest::newRow("no list") << "list";
    }

    void restartManagerFails() {
        QFETCH(QString, step);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("app.accdb"));
        QVERIFY(test::writeFile(file, "db"));
        rm_.failing = step;
        ToolhelpProcessTable table({}, rm_.calls());

        QVERIFY(!table.holdersOf({file}));
    }

    // A list as Windows gives it, which grows between the calls: the holder, the same id with
    // another start time (its process gone and the id reused), a process that is gone, and this
    // process itself. Only the holder is listed, and can then be ended although no query listed
    // it; a process of the list that is not the one listed cannot.
    void listedHolderCanBeEnded() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("app.accdb"));
        QVERIFY(test::writeFile(file, "db"));
        test::Child holder;
        QVERIFY(test::startHolder(holder, file, -1));
        test::Child bystander;
        QVERIFY(test::startIdleCopy(bystander, dir.path(), QStringLiteral("bystander.exe")));
        const quint64 started = creationTimeOf(holder.processId());
        QVERIFY(started != 0);
        const std::vector<RM_PROCESS_INFO> script{
            listedAs(bystander.processId(), creationTimeOf(bystander.processId()) + 1),
            listedAs(holder.processId(), started), listedAs(holder.processId(), started),
            listedAs(GetCurrentProcessId(), creationTimeOf(GetCurrentProcessId())),
            listedAs(5'000'001, started)};
        int calls = 0;
        rm_.list = [&](UINT* needed, UINT* count, RM_PROCESS_INFO* infos) {
            ++calls;
            *needed = UINT(calls == 1 ? 2 : script.size());
            if (*count < *needed)
                return DWORD(ERROR_MORE_DATA);
            std::copy(script.begin(), script.end(), infos);
            *count = UINT(script.size());
            return DWORD(ERROR_SUCCESS);
        };
        ToolhelpProcessTable table({}, rm_.calls());

        const Holders found = table.holdersOf({file});

        QCOMPARE(calls, 3);
        QVERIFY(found);
        QCOMPARE(pidsOf(*found), QList<qint64>{holder.processId()});
        QCOMPARE(found->front().name, QStringLiteral("tarsel_holder.exe"));
        QCOMPARE(found->front().started, started);
        QVERIFY(found->front().ownedByUser);
        QVERIFY(table.terminate(bystander.processId()) != 0);
        QCOMPARE(table.terminate(holder.processId()), 0);
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(bystander.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestToolhelpProcessTable)
#include "test_ToolhelpProcessTable.moc"
