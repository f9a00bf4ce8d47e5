#include "platform/posix/ProcfsProcessTable.h"

#include "core/RunTimeError.h"
#include "support/FileFixtures.h"
#include "support/IdleCopy.h"
#include "support/TestHost.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using namespace tarsel;
using platform::ProcfsProcessTable;

namespace {

const QString AccessImage = QStringLiteral("MSACCESS.EXE");

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
    // Gives the process a descriptor that leads to `file`, as the kernel's links do.
    void hold(qint64 pid, const QString& file) {
        const QString fds = QString::number(pid) + QStringLiteral("/fd");
        QVERIFY(QDir(dir.path()).mkpath(fds));
        QVERIFY(QFile::link(file, dir.path() + '/' + fds + QStringLiteral("/3")));
    }
    QString fdFolder(qint64 pid) const { return dir.filePath(QString::number(pid) + "/fd"); }

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

// Starts a child that holds `path` open for reading and otherwise idles.
bool startHolding(QProcess& child, const QString& path) {
    child.start(QStringLiteral("bash"),
                {QStringLiteral("-c"), QStringLiteral(R"(exec 3<"$0" && exec sleep 60)"), path});
    return child.waitForStarted();
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
    void namesMatch_data();
    void namesMatch();
    void ownProcessNeverListed();
    void unreadableTable_data();
    void unreadableTable();
    void terminate_data();
    void terminate();
    void realProcessGoneBeforeTerminate();
    void holders_data();
    void holders();
    void holderNames_data();
    void holderNames();
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

    const std::vector<platform::ProcessEntry> found = table.processesNamed(AccessImage);

    if (listedAs.isEmpty()) {
        QVERIFY(found.empty());
    } else {
        QCOMPARE(found.size(), size_t(1));
        QCOMPARE(found.front().pid, FakePid);
        QCOMPARE(found.front().name, listedAs);
    }
}

// The image name as the management service compares it: whole, without regard to case.
void TestProcfsProcessTable::namesMatch_data() {
    QTest::addColumn<QString>("image");
    QTest::addColumn<bool>("listed");
    QTest::newRow("as the sweep asks") << AccessImage << true;
    QTest::newRow("in lower case") << "msaccess.exe" << true;
    QTest::newRow("part of the name") << "MSACCESS" << false;
    QTest::newRow("another name") << "EXCEL.EXE" << false;
    QTest::newRow("empty") << QString() << false;
}

void TestProcfsProcessTable::namesMatch() {
    QFETCH(QString, image);
    QFETCH(bool, listed);
    FakeProc proc;
    proc.add(FakePid, "MSACCESS.EXE", argv({"MSACCESS.EXE"}));
    ProcfsProcessTable table(proc.path());
    QCOMPARE(pidsOf(table.processesNamed(image)),
             listed ? QList<qint64>{FakePid} : QList<qint64>());
}

void TestProcfsProcessTable::ownProcessNeverListed() {
    FakeProc proc;
    proc.add(::getpid(), "MSACCESS.EXE", argv({"MSACCESS.EXE"}));
    proc.add(FakePid, "MSACCESS.EXE", argv({"MSACCESS.EXE"}));
    ProcfsProcessTable table(proc.path());

    QCOMPARE(pidsOf(table.processesNamed(AccessImage)), QList<qint64>{FakePid});
    QVERIFY(table.terminate(::getpid()) != 0);
}

void TestProcfsProcessTable::unreadableTable_data() {
    QTest::addColumn<QString>("root");
    QTest::addColumn<int>("number");
    QTest::newRow("missing") << "missing" << runTimeNumberOf(ErrorKind::FileNotFound);
    QTest::newRow("a file") << "file" << runTimeNumberOf(ErrorKind::PathNotFound);
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
        table.processesNamed(AccessImage);
        QFAIL("an unreadable table must raise");
    } catch (const RunTimeError& e) {
        QCOMPARE(e.number(), number);
    }
}

void TestProcfsProcessTable::terminate_data() {
    QTest::addColumn<QString>("change"); // what happens between listing and signalling
    QTest::addColumn<int>("signal");     // SIGTERM: asked to close; SIGKILL: ended
    QTest::addColumn<bool>("reaches");
    QTest::addColumn<bool>("byHolders"); // listed as a holder of a file, not by a query
    for (const bool byHolders : {false, true}) {
        for (const int signal : {SIGKILL, SIGTERM}) {
            const char* call = signal == SIGKILL ? "terminate" : "requestClose";
            const char* listing = byHolders ? "holder" : "query";
            QTest::addRow("%s, %s: nothing", listing, call)
                << "none" << signal << true << byHolders;
            QTest::addRow("%s, %s: process gone", listing, call)
                << "gone" << signal << false << byHolders;
            QTest::addRow("%s, %s: pid taken by a newer process", listing, call)
                << "reused" << signal << false << byHolders;
            QTest::addRow("%s, %s: never listed", listing, call)
                << "unlisted" << signal << false << byHolders;
        }
    }
}

// A fake table that shows one of our own children under the Access name, so the real signal can
// reach no one else.
void TestProcfsProcessTable::terminate() {
    QFETCH(QString, change);
    QFETCH(int, signal);
    QFETCH(bool, reaches);
    QFETCH(bool, byHolders);
    QTemporaryDir dir;
    test::Child child;
    QVERIFY(test::startIdleCopy(child, dir.path(), QStringLiteral("sleep")));
    const qint64 pid = child.processId();
    FakeProc proc;
    const QByteArray comm = change == "unlisted" && !byHolders ? "sleep" : "MSACCESS.EXE";
    proc.add(pid, comm, comm + '\0');
    const QString file = dir.filePath(QStringLiteral("app.accdb"));
    QVERIFY(test::writeFile(file, "db"));
    if (change != "unlisted")
        proc.hold(pid, file);
    ProcfsProcessTable table(proc.path());
    const size_t listed = byHolders ? table.holdersOf({file}).value().size()
                                    : table.processesNamed(AccessImage).size();
    QCOMPARE(listed, size_t(change == "unlisted" ? 0 : 1));

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

    const QList<qint64> pids = pidsOf(table->processesNamed(AccessImage));
    QVERIFY(pids.contains(accessPid));
    QVERIFY(!pids.contains(bystander.processId()));

    access.kill();
    QVERIFY(access.waitForFinished());
    QVERIFY(table->terminate(accessPid) != 0);
}

void TestProcfsProcessTable::holders_data() {
    QTest::addColumn<QStringList>("paths"); // in the test's folder
    QTest::addColumn<QStringList>("listed");

    using L = QStringList;
    QTest::newRow("the held file") << L{"held"} << L{"holder"};
    QTest::newRow("the held file under another name") << L{"alias"} << L{"holder"};
    QTest::newRow("through a symbolic link") << L{"link"} << L{"holder"};
    QTest::newRow("another spelling") << L{"./held"} << L{"holder"};
    QTest::newRow("two files") << L{"held", "other"} << L{"holder", "other holder"};
    QTest::newRow("one file twice") << L{"held", "alias"} << L{"holder"};
    QTest::newRow("a missing path beside it") << L{"missing", "held"} << L{"holder"};
    QTest::newRow("only a missing path") << L{"missing"} << L{};
    QTest::newRow("a path through a file") << L{"held/x"} << L{};
    QTest::newRow("a file nobody holds") << L{"free"} << L{};
    QTest::newRow("no paths") << L{} << L{};
    // A path that cannot be looked at, or a folder, is held by nobody: the others are answered.
    QTest::newRow("a folder beside it") << L{"held", "folder"} << L{"holder"};
    QTest::newRow("only a folder") << L{"folder"} << L{};
    QTest::newRow("a link loop beside it") << L{"loop", "held"} << L{"holder"};
    QTest::newRow("a folder nobody may search beside it") << L{"locked/x", "held"} << L{"holder"};
}

// Real processes: a holder of one file, a holder of another, one that holds neither, and this
// test itself, which holds every file too but is never listed.
void TestProcfsProcessTable::holders() {
    QFETCH(QStringList, paths);
    QFETCH(QStringList, listed);
    QTemporaryDir dir;
    const auto at = [&](const QString& name) { return dir.filePath(name); };
    for (const char* name : {"held", "other", "free"})
        QVERIFY(test::writeFile(at(name), name));
    QVERIFY(test::makeHardLink(at("held"), at("alias")));
    QVERIFY(test::makeSymbolicLink(at("held"), at("link")));
    QVERIFY(test::makeSymbolicLink(at("loop"), at("loop")));
    QVERIFY(QDir().mkdir(at("folder")) && QDir().mkdir(at("locked")));
    QVERIFY(test::writeFile(at("locked/x"), "x"));
    QVERIFY(QFile::setPermissions(at("locked"), QFileDevice::Permissions()));
    const auto unlock = qScopeGuard([&] {
        QFile::setPermissions(at("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                QFileDevice::ExeOwner);
    });
    QFile mine(at("held"));
    QVERIFY(mine.open(QIODevice::ReadOnly));
    QFile mineToo(at("free"));
    QVERIFY(mineToo.open(QIODevice::ReadOnly));
    test::Child holder, otherHolder, idle;
    QVERIFY(startHolding(holder, at("held")));
    QVERIFY(startHolding(otherHolder, at("other")));
    QVERIFY(test::startIdleCopy(idle, dir.path(), QStringLiteral("sleep")));
    const QHash<QString, qint64> pids{{"holder", holder.processId()},
                                      {"other holder", otherHolder.processId()}};
    ProcfsProcessTable table;
    // Each child holds its file once it has opened it: until then it is not yet a holder.
    QTRY_VERIFY(pidsOf(table.holdersOf({at("held"), at("other")}).value()).size() == 2);

    QStringList asked;
    for (const QString& path : paths)
        asked.append(at(path));
    const std::optional<std::vector<platform::ProcessEntry>> found = table.holdersOf(asked);

    QVERIFY(found);
    QList<qint64> expected;
    for (const QString& name : listed)
        expected.append(pids.value(name));
    QList<qint64> got = pidsOf(*found);
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(got, expected);
    for (const platform::ProcessEntry& entry : *found) {
        QCOMPARE(entry.name, QStringLiteral("sleep"));
        QVERIFY(entry.ownedByUser);
        QVERIFY(entry.started != 0);
    }
}

void TestProcfsProcessTable::holderNames_data() {
    QTest::addColumn<QByteArray>("comm");
    QTest::addColumn<QByteArray>("cmdline");
    QTest::addColumn<char>("state");
    QTest::addColumn<QString>("listedAs"); // empty: not listed

    const char Running = 'S';
    QTest::newRow("comm") << QByteArray("sleep") << argv({"/usr/bin/sleep", "60"}) << Running
                          << "sleep";
    QTest::newRow("comm cut short")
        << QByteArray("libreoffice-wri") << argv({"/usr/lib/libreoffice-writer-bin", "-o"})
        << Running << "libreoffice-writer-bin";
    QTest::newRow("Wine: loader comm, Windows path")
        << QByteArray("wine64-preloade") << argv({R"(C:\Office16\MSACCESS.EXE)", "/nostartup"})
        << Running << "MSACCESS.EXE";
    QTest::newRow("Wine: Windows name in comm only")
        << QByteArray("MSACCESS.EXE") << argv({"/usr/bin/wine64-preloader"}) << Running
        << "MSACCESS.EXE";
    QTest::newRow("command line rewritten by the program")
        << QByteArray("sshd") << argv({"sshd: jane@pts/0"}) << Running << "sshd";
    QTest::newRow("no command line")
        << QByteArray("kworker/0:1") << QByteArray() << Running << "kworker/0:1";
    QTest::newRow("zombie") << QByteArray("sleep") << QByteArray() << 'Z' << QString();
    QTest::newRow("descriptors not ours to read")
        << QByteArray("sleep") << argv({"sleep"}) << Running << QString();
}

void TestProcfsProcessTable::holderNames() {
    QFETCH(QByteArray, comm);
    QFETCH(QByteArray, cmdline);
    QFETCH(char, state);
    QFETCH(QString, listedAs);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("app.accdb"));
    QVERIFY(test::writeFile(file, "db"));
    FakeProc proc;
    proc.add(FakePid, comm, cmdline, state);
    proc.hold(FakePid, file);
    const QString fds = proc.fdFolder(FakePid);
    const auto restore = qScopeGuard([&] {
        QFile::setPermissions(fds, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                       QFileDevice::ExeOwner);
    });
    if (QString(QTest::currentDataTag()) == "descriptors not ours to read") {
        if (test::runsAsRoot())
            QSKIP("root reads every process's descriptors");
        QVERIFY(QFile::setPermissions(fds, QFileDevice::Permissions()));
    }
    ProcfsProcessTable table(proc.path());

    const std::optional<std::vector<platform::ProcessEntry>> found = table.holdersOf({file});

    QVERIFY(found);
    // Unseen is said, never taken for nobody.
    QCOMPARE(table.sawOtherAccounts(),
             QString(QTest::currentDataTag()) != "descriptors not ours to read");
    if (listedAs.isEmpty()) {
        QVERIFY(found->empty());
    } else {
        QCOMPARE(found->size(), size_t(1));
        QCOMPARE(found->front().pid, FakePid);
        QCOMPARE(found->front().name, listedAs);
        QCOMPARE(found->front().started, quint64(1000));
    }
}

QTEST_GUILESS_MAIN(TestProcfsProcessTable)
#include "test_ProcfsProcessTable.moc"
