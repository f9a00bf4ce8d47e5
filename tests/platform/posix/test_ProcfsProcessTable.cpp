#include "platform/posix/ProcfsProcessTable.h"

#include "core/RunTimeError.h"
#include "support/IdleCopy.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using namespace tarsel;
using platform::ProcfsProcessTable;

namespace {

const QString AccessQuery =
    QStringLiteral("SELECT * FROM Win32_Process WHERE Name = 'MSACCESS.EXE'");

// Above the kernel's highest possible pid, so no real process can ever answer to it.
constexpr qint64 FakePid = 5'000'001;

// A /proc tree of plain files, with the entries a real one has around the processes.
class FakeProc {
public:
    FakeProc() {
        QDir root(dir.path());
        root.mkpath(QStringLiteral("self"));
        root.mkpath(QString::number(FakePid + 1)); // a process that went while being listed
        writeFile(QStringLiteral("uptime"), "1.0 1.0\n");
    }

    QString path() const { return dir.path(); }

    void add(qint64 pid, const QByteArray& comm, const QByteArray& cmdline, char state = 'S',
             quint64 startTime = 1000) {
        const QString pidDir = QString::number(pid);
        QDir(dir.path()).mkpath(pidDir);
        writeFile(pidDir + QStringLiteral("/comm"), comm + '\n');
        writeFile(pidDir + QStringLiteral("/cmdline"), cmdline);
        setStartTime(pid, comm, state, startTime);
    }
    void setStartTime(qint64 pid, const QByteArray& comm, char state, quint64 startTime) {
        QByteArray stat = QByteArray::number(pid) + " (" + comm + ") " + state;
        for (int field = 4; field < 22; ++field)
            stat += " 0";
        stat += ' ' + QByteArray::number(startTime) + " 0 0\n";
        writeFile(QString::number(pid) + QStringLiteral("/stat"), stat);
    }
    void remove(qint64 pid) { QDir(dir.path() + '/' + QString::number(pid)).removeRecursively(); }

private:
    void writeFile(const QString& name, const QByteArray& content) {
        QFile file(dir.path() + '/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QTemporaryDir dir;
};

// A cmdline as /proc shows it: every word ends with a NUL.
QByteArray argv(std::initializer_list<const char*> words) {
    QByteArray joined;
    for (const char* word : words)
        joined += QByteArray(word) + '\0';
    return joined;
}

QList<qint64> pidsOf(const std::vector<platform::ProcessEntry>& entries) {
    QList<qint64> pids;
    for (const auto& entry : entries)
        pids.append(entry.pid);
    return pids;
}

} // namespace

class TestProcfsProcessTable : public QObject {
    Q_OBJECT

private slots:
    void imageName_data();
    void imageName();
    void queryForms_data();
    void queryForms();
    void ownProcessNeverListed();
    void unreadableTable_data();
    void unreadableTable();
    void terminate_data();
    void terminate();
    void realProcessGoneBeforeTerminate();
};

void TestProcfsProcessTable::imageName_data() {
    QTest::addColumn<QByteArray>("comm");
    QTest::addColumn<QByteArray>("cmdline");
    QTest::addColumn<char>("state");
    QTest::addColumn<QString>("listedAs"); // empty: not listed

    const char Running = 'S';
    QTest::newRow("comm") << QByteArray("MSACCESS.EXE") << argv({"/opt/office/MSACCESS.EXE"})
                          << Running << "MSACCESS.EXE";
    QTest::newRow("comm in other case")
        << QByteArray("msaccess.exe") << argv({"msaccess.exe"}) << 'R' << "msaccess.exe";
    QTest::newRow("Wine: cut-short loader comm, Windows path")
        << QByteArray("wine64-preloade")
        << argv({R"(C:\Program Files\Microsoft Office\Office16\MSACCESS.EXE)", "/nostartup"})
        << Running << "MSACCESS.EXE";
    QTest::newRow("loader comm, Unix path in other case")
        << QByteArray("wine-preloader") << argv({"/home/u/.wine/drive_c/Office/MsAccess.exe"})
        << Running << "MsAccess.exe";
    QTest::newRow("command name under a long file name")
        << QByteArray("long-named-slee") << argv({"MSACCESS.EXE", "60"}) << Running
        << "MSACCESS.EXE";
    QTest::newRow("other program")
        << QByteArray("sleep") << argv({"/usr/bin/sleep", "60"}) << Running << QString();
    QTest::newRow("name only in an argument")
        << QByteArray("sleep") << argv({"sleep", "MSACCESS.EXE"}) << Running << QString();
    QTest::newRow("name as a folder")
        << QByteArray("run") << argv({"/opt/MSACCESS.EXE/run"}) << Running << QString();
    QTest::newRow("longer name") << QByteArray("MSACCESS.EXE.ba") << argv({"/x/MSACCESS.EXE.bak"})
                                 << Running << QString();
    QTest::newRow("kernel thread") << QByteArray("kworker/0:1") << QByteArray() << 'I' << QString();
    QTest::newRow("zombie") << QByteArray("MSACCESS.EXE") << QByteArray() << 'Z' << QString();
}

void TestProcfsProcessTable::imageName() {
    QFETCH(QByteArray, comm);
    QFETCH(QByteArray, cmdline);
    QFETCH(char, state);
    QFETCH(QString, listedAs);
    FakeProc proc;
    proc.add(FakePid, comm, cmdline, state);
    ProcfsProcessTable table(proc.path());

    const std::vector<platform::ProcessEntry> found = table.query(AccessQuery);

    if (listedAs.isEmpty()) {
        QVERIFY(found.empty());
    } else {
        QCOMPARE(found.size(), size_t(1));
        QCOMPARE(found.front().pid, FakePid);
        QCOMPARE(found.front().name, listedAs);
    }
}

void TestProcfsProcessTable::queryForms_data() {
    QTest::addColumn<QString>("queryText");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("as the sweep asks") << AccessQuery << true;
    QTest::newRow("keywords in lower case")
        << "select * from win32_process where name = 'MSACCESS.EXE'" << true;
    QTest::newRow("name in lower case, no blanks")
        << "SELECT * FROM Win32_Process WHERE Name='msaccess.exe'" << true;
    QTest::newRow("other class") << "SELECT * FROM Win32_Service WHERE Name = 'MSACCESS.EXE'"
                                 << false;
    QTest::newRow("other columns")
        << "SELECT Name FROM Win32_Process WHERE Name = 'MSACCESS.EXE'" << false;
    QTest::newRow("no condition") << "SELECT * FROM Win32_Process" << false;
    QTest::newRow("second condition")
        << "SELECT * FROM Win32_Process WHERE Name = 'MSACCESS.EXE' OR Name = 'sleep'" << false;
    QTest::newRow("unquoted name")
        << "SELECT * FROM Win32_Process WHERE Name = MSACCESS.EXE" << false;
    QTest::newRow("empty") << QString() << false;
}

void TestProcfsProcessTable::queryForms() {
    QFETCH(QString, queryText);
    QFETCH(bool, accepted);
    FakeProc proc;
    proc.add(FakePid, "MSACCESS.EXE", argv({"MSACCESS.EXE"}));
    ProcfsProcessTable table(proc.path());

    try {
        const std::vector<platform::ProcessEntry> found = table.query(queryText);
        QVERIFY2(accepted, "query should have been refused");
        QCOMPARE(pidsOf(found), QList<qint64>{FakePid});
    } catch (const RunTimeError& e) {
        QVERIFY2(!accepted, qPrintable(e.description()));
        QCOMPARE(e.number(), ErrNo::InvalidProcedureCall);
    }
}

void TestProcfsProcessTable::ownProcessNeverListed() {
    FakeProc proc;
    proc.add(::getpid(), "MSACCESS.EXE", argv({"MSACCESS.EXE"}));
    proc.add(FakePid, "MSACCESS.EXE", argv({"MSACCESS.EXE"}));
    ProcfsProcessTable table(proc.path());

    QCOMPARE(pidsOf(table.query(AccessQuery)), QList<qint64>{FakePid});
    QVERIFY(table.terminate(::getpid()) != 0);
}

void TestProcfsProcessTable::unreadableTable_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<int>("number");
    QTest::newRow("missing") << "missing" << ErrNo::FileNotFound;
    QTest::newRow("a file") << "file" << ErrNo::PathNotFound;
}

void TestProcfsProcessTable::unreadableTable() {
    QFETCH(QString, root);
    QFETCH(int, number);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    ProcfsProcessTable table(dir.filePath(root));

    try {
        table.query(AccessQuery);
        QFAIL("an unreadable table must raise");
    } catch (const RunTimeError& e) {
        QCOMPARE(e.number(), number);
    }
}

void TestProcfsProcessTable::terminate_data() {
    QTest::addColumn<QString>("change"); // what happens between listing and signalling
    QTest::addColumn<int>("signal");     // SIGTERM: asked to close; SIGKILL: ended
    QTest::addColumn<bool>("reaches");
    for (const int signal : {SIGKILL, SIGTERM}) {
        const char* call = signal == SIGKILL ? "terminate: " : "requestClose: ";
        QTest::addRow("%snothing", call) << "none" << signal << true;
        QTest::addRow("%sprocess gone", call) << "gone" << signal << false;
        QTest::addRow("%spid taken by a newer process", call) << "reused" << signal << false;
        QTest::addRow("%snever listed", call) << "unlisted" << signal << false;
    }
}

// A fake table that shows one of our own children under the Access name, so the real signal can
// reach no one else.
void TestProcfsProcessTable::terminate() {
    QFETCH(QString, change);
    QFETCH(int, signal);
    QFETCH(bool, reaches);
    QTemporaryDir dir;
    test::Child child;
    QVERIFY(test::startIdleCopy(child, dir.path(), QStringLiteral("sleep")));
    const qint64 pid = child.processId();
    FakeProc proc;
    const QByteArray comm = change == "unlisted" ? "sleep" : "MSACCESS.EXE";
    proc.add(pid, comm, comm + '\0');
    ProcfsProcessTable table(proc.path());
    QCOMPARE(table.query(AccessQuery).size(), size_t(change == "unlisted" ? 0 : 1));

    if (change == "gone")
        proc.remove(pid);
    else if (change == "reused")
        proc.setStartTime(pid, comm, 'S', 2000);
    const bool done = signal == SIGTERM ? table.requestClose(pid) : table.terminate(pid) == 0;

    QCOMPARE(done, reaches);
    if (reaches) {
        QTRY_COMPARE(child.state(), QProcess::NotRunning);
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        QCOMPARE(child.exitCode(), signal);
        QVERIFY(table.terminate(pid) != 0); // gone, and never a newcomer's
    } else {
        QCOMPARE(child.state(), QProcess::Running);
    }
}

void TestProcfsProcessTable::realProcessGoneBeforeTerminate() {
    QTemporaryDir dir;
    test::Child access;
    QVERIFY(test::startIdleCopy(access, dir.path(), QStringLiteral("MSACCESS.EXE")));
    test::Child bystander;
    QVERIFY(test::startIdleCopy(bystander, dir.path(), QStringLiteral("sleep")));
    const qint64 accessPid = access.processId();
    const std::unique_ptr<platform::ProcessTable> table = platform::systemProcessTable();

    const QList<qint64> pids = pidsOf(table->query(AccessQuery));
    QVERIFY(pids.contains(accessPid));
    QVERIFY(!pids.contains(bystander.processId()));

    access.kill();
    QVERIFY(access.waitForFinished());
    QVERIFY(table->terminate(accessPid) != 0);
}

QTEST_GUILESS_MAIN(TestProcfsProcessTable)
#include "test_ProcfsProcessTable.moc"
