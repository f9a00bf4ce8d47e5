#include "sweep/AccessSweep.h"
#include "sweep/EndAccess.h"

#include "support/ErrorOf.h"
#include "support/FakeProcessTable.h"
#include "support/FakeSweepHost.h"

#include <QtTest>

using namespace tarsel;
using platform::ProcessEntry;
using OnAsk = test::FakeProcessTable::OnAsk;
using Pids = QList<qint64>;

namespace {

const QString AccessImage = QStringLiteral("MSACCESS.EXE");

// The sweep on a scripted table, a recording window and a clock that moves only when told.
struct Rig {
    test::FakeProcessTable table;
    test::FakeSweepHost host;
    qint64 now = 1'000'000;
    AccessSweep sweep{table, host, [this] { return now; }};

    // Ticks as the window's 500 ms timer does.
    void tick(int count = 1) {
        for (int i = 0; i < count; ++i) {
            now += 500;
            sweep.tick();
        }
    }
    void tickAt(qint64 ms) {
        now = ms;
        sweep.tick();
    }
    void runOnly(const QList<qint64>& pids, quint64 started = 1) {
        table.running.clear();
        for (qint64 pid : pids)
            table.running.append({pid, QStringLiteral("MSACCESS.EXE"), started});
    }
};

} // namespace

class TestAccessSweep : public QObject {
    Q_OBJECT

private slots:
    void ticks_data();
    void ticks();
    void terminations_data();
    void terminations();
    void askedBeforeEnded_data();
    void askedBeforeEnded();
    void failingTable_data();
    void failingTable();
    void restAfterSweep_data();
    void restAfterSweep();
    void reentry_data();
    void reentry();
    void endAccessAtOnce_data();
    void endAccessAtOnce();
};

void TestAccessSweep::ticks_data() {
    QTest::addColumn<int>("ticks");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("sweeps");

    QTest::newRow("first tick") << 1 << 10 << 0;
    QTest::newRow("tenth tick") << 10 << 100 << 0;
    QTest::newRow("eleventh tick") << 11 << 110 << 0;
    QTest::newRow("twelfth tick sweeps") << 12 << 110 << 1;
    QTest::newRow("next sweep eleven ticks later") << 23 << 110 << 2;
    QTest::newRow("a minute of ticks") << 120 << 110 << 10;
}

void TestAccessSweep::ticks() {
    QFETCH(int, ticks);
    QFETCH(int, delay);
    QFETCH(int, sweeps);
    Rig rig;
    rig.runOnly({});

    rig.tick(ticks);

    QCOMPARE(rig.sweep.SweepDelay(), qint16(delay));
    QCOMPARE(rig.table.queries, QStringList(sweeps, AccessImage));
    QCOMPARE(rig.host.sweeps, sweeps);
    QVERIFY(rig.host.failures.isEmpty());
}

void TestAccessSweep::terminations_data() {
    QTest::addColumn<QList<qint64>>("pids");
    QTest::addColumn<QList<int>>("answers"); // terminate's answer for each pid
    QTest::addColumn<QList<qint64>>("firstSweep");
    QTest::addColumn<QList<qint64>>("secondSweep");

    using Answers = QList<int>;
    QTest::newRow("none") << Pids{} << Answers{} << Pids{} << Pids{};
    QTest::newRow("one") << Pids{41} << Answers{0} << Pids{41} << Pids{};
    QTest::newRow("three, the last left to the next sweep")
        << Pids{41, 42, 43} << Answers{0, 0, 0} << Pids{41, 42} << Pids{43};
    QTest::newRow("a refusal does not lower the count")
        << Pids{41, 42, 43, 44} << Answers{5, 0, 0, 0} << Pids{41, 42, 43, 44} << Pids{41};
    QTest::newRow("all refused") << Pids{41, 42} << Answers{70, 3} << Pids{41, 42} << Pids{41, 42};
}

void TestAccessSweep::terminations() {
    QFETCH(QList<qint64>, pids);
    QFETCH(QList<int>, answers);
    QFETCH(QList<qint64>, firstSweep);
    QFETCH(QList<qint64>, secondSweep);
    Rig rig;
    rig.runOnly(pids);
    for (qsizetype i = 0; i < pids.size(); ++i)
        rig.table.answers.insert(pids.at(i), answers.at(i));

    rig.tick(12);
    QCOMPARE(rig.table.terminated, firstSweep);
    QCOMPARE(rig.host.sweeps, 1);
    QVERIFY(rig.sweep.resting());

    rig.table.terminated.clear();
    rig.tick(11);
    QCOMPARE(rig.table.terminated, secondSweep);
    QCOMPARE(rig.host.sweeps, 2);
    QVERIFY(rig.host.failures.isEmpty());
}

void TestAccessSweep::askedBeforeEnded_data() {
    QTest::addColumn<Pids>("pids");
    QTest::addColumn<OnAsk>("onAsk");
    QTest::addColumn<int>("refusal");       // terminate's answer
    QTest::addColumn<bool>("reused");       // the pids pass to new processes after the first sweep
    QTest::addColumn<QList<Pids>>("asked"); // by the end of sweeps 1 to 3
    QTest::addColumn<QList<Pids>>("ended");

    const Pids one{41};
    QTest::newRow("closes when asked")
        << one << OnAsk::Closes << 0 << false << QList<Pids>(3, one) << QList<Pids>(3);
    QTest::newRow("still there at the next sweep: ended")
        << one << OnAsk::Ignores << 0 << false << QList<Pids>(3, one) << QList<Pids>{{}, one, one};
    QTest::newRow("no window: ended at once")
        << one << OnAsk::NoWindow << 0 << false << QList<Pids>(3) << QList<Pids>(3, one);
    QTest::newRow("pid taken by a new process: asked afresh, not ended")
        << one << OnAsk::Ignores << 0 << true << QList<Pids>{one, {41, 41}, {41, 41}}
        << QList<Pids>{{}, {}, one};
    QTest::newRow("end refused: tried again without asking again")
        << one << OnAsk::Ignores << 5 << false << QList<Pids>(3, one)
        << QList<Pids>{{}, one, {41, 41}};
    // Asks do not count; the end of the last one is left to the third sweep.
    QTest::newRow("three that ignore the ask")
        << Pids{41, 42, 43} << OnAsk::Ignores << 0 << false << QList<Pids>(3, {41, 42, 43})
        << QList<Pids>{{}, {41, 42}, {41, 42, 43}};
}

void TestAccessSweep::askedBeforeEnded() {
    QFETCH(Pids, pids);
    QFETCH(OnAsk, onAsk);
    QFETCH(int, refusal);
    QFETCH(bool, reused);
    QFETCH(QList<Pids>, asked);
    QFETCH(QList<Pids>, ended);
    Rig rig;
    rig.runOnly(pids);
    for (qint64 pid : pids) {
        rig.table.onAsk.insert(pid, onAsk);
        rig.table.answers.insert(pid, refusal);
    }

    rig.tick(12);
    for (int sweep = 0; sweep < 3; ++sweep) {
        if (sweep > 0)
            rig.tick(11);
        QCOMPARE(rig.table.asked, asked.at(sweep));
        QCOMPARE(rig.table.terminated, ended.at(sweep));
        if (sweep == 0 && reused)
            rig.runOnly(pids, 2);
    }
    QCOMPARE(rig.host.sweeps, 3);
}

void TestAccessSweep::failingTable_data() {
    QTest::addColumn<bool>("inQuery");
    QTest::newRow("query fails") << true;
    QTest::newRow("terminate fails") << false;
}

void TestAccessSweep::failingTable() {
    QFETCH(bool, inQuery);
    Rig rig;
    rig.runOnly({41});
    auto fail = [&](bool on) {
        std::optional<RunTimeError> failure;
        if (on)
            failure =
                RunTimeError(ErrorKind::PermissionDenied, QStringLiteral("Permission denied"));
        (inQuery ? rig.table.failQuery : rig.table.failTerminate) = failure;
    };
    const QString report = QStringLiteral("Error 70 (Permission denied)");

    fail(true);
    rig.tick(12);
    QCOMPARE(rig.host.failures, QStringList{report});
    QCOMPARE(rig.host.sweeps, 0);
    QVERIFY(!rig.sweep.resting());

    // No rest after a failure: the next ticks try again, and stay silent.
    rig.tick(3);
    QCOMPARE(rig.table.queries.size(), 4);
    QCOMPARE(rig.host.failures.size(), 1);
    QCOMPARE(rig.host.sweeps, 0);

    fail(false);
    rig.tick();
    QCOMPARE(rig.host.sweeps, 1);
    QVERIFY(rig.sweep.resting());

    // A success re-arms the report.
    rig.runOnly({42});
    fail(true);
    rig.tick(11);
    QCOMPARE(rig.host.failures, QStringList(2, report));
    QCOMPARE(rig.host.sweeps, 1);
}

void TestAccessSweep::restAfterSweep_data() {
    QTest::addColumn<qint64>("tableMs"); // how long each table call takes
    QTest::newRow("quick table") << qint64(0);
    QTest::newRow("slow table") << qint64(3000);
}

void TestAccessSweep::restAfterSweep() {
    QFETCH(qint64, tableMs);
    Rig rig;
    rig.runOnly({41});
    rig.table.onCall = [&] { rig.now += tableMs; };
    rig.tick(12);
    const qint64 sweepEnd = rig.now;
    QCOMPARE(rig.table.terminated, QList<qint64>{41});

    // The rest runs from the end of the sweep; ticks in it touch neither table nor window.
    rig.table.onCall = {};
    rig.runOnly({42});
    for (qint64 ms = 500; ms <= AccessSweep::RestMs; ms += 500) {
        rig.tickAt(sweepEnd + ms);
        QVERIFY(rig.sweep.resting());
    }
    QCOMPARE(rig.table.queries.size(), 1);
    QCOMPARE(rig.host.sweeps, 1);
    QCOMPARE(rig.sweep.SweepDelay(), qint16(110));

    rig.tickAt(sweepEnd + AccessSweep::RestMs + 1);
    QCOMPARE(rig.table.terminated, (QList<qint64>{41, 42}));
    QCOMPARE(rig.host.sweeps, 2);
}

void TestAccessSweep::reentry_data() {
    QTest::addColumn<bool>("inReport");
    QTest::newRow("tick inside a table call") << false;
    QTest::newRow("tick inside the error report") << true;
}

void TestAccessSweep::reentry() {
    QFETCH(bool, inReport);
    Rig rig;
    rig.runOnly({41, 42, 43});
    int nested = 0;
    auto nestedTick = [&] {
        if (++nested <= 3) // bounded, so that a missing guard fails rather than overflows
            rig.tick();
    };
    if (inReport) {
        rig.table.failQuery = RunTimeError(ErrorKind::PermissionDenied, QStringLiteral("denied"));
        rig.host.onFailure = nestedTick;
    } else {
        rig.table.onCall = nestedTick;
    }

    rig.tick(12);

    QVERIFY(nested > 0);
    QCOMPARE(rig.table.queries.size(), 1);
    QCOMPARE(rig.table.terminated.size(), inReport ? 0 : 2);
    QCOMPARE(rig.host.failures.size(), inReport ? 1 : 0);

    // The guard is lifted once the tick is over, whichever way it ended.
    rig.table.failQuery.reset();
    rig.table.onCall = {};
    rig.host.onFailure = {};
    rig.tick(11);
    QCOMPARE(rig.table.queries.size(), 2);
}

// tarselcopy --end-access: this user's Access processes that hold the front end or its lock file,
// each asked to close at its first sight, ended after the grace if still in the way; other users'
// and other programs never; nobody once a cancel has come. Where the table cannot tell who holds
// the files, all of this user's Access processes.
void TestAccessSweep::endAccessAtOnce_data() {
    QTest::addColumn<int>("onAsk"); // FakeProcessTable::OnAsk, of process 7
    QTest::addColumn<bool>("ours");
    QTest::addColumn<QString>("holds");        // what 7 holds: "target", "lock" or nothing
    QTest::addColumn<QString>("beside");       // also running: "idle Access", "Excel holding it"
    QTest::addColumn<bool>("cannotTell");      // holdersOf answers nothing, as under Wine
    QTest::addColumn<QString>("atFirstYield"); // what happens meanwhile: "cancel", "newcomer"
    QTest::addColumn<QList<qint64>>("asked");
    QTest::addColumn<QList<qint64>>("ended");
    using OnAsk = test::FakeProcessTable::OnAsk;
    using Pids = QList<qint64>;
    const int closes = int(OnAsk::Closes), deaf = int(OnAsk::Ignores);
    QTest::newRow("closes when asked") << closes << true << "target"
                                       << "" << false << "" << Pids{7} << Pids{};
    QTest::newRow("deaf: ended after the grace") << deaf << true << "target"
                                                 << "" << false << "" << Pids{7} << Pids{7};
    QTest::newRow("nothing to ask: ended") << int(OnAsk::NoWindow) << true << "target"
                                           << "" << false << "" << Pids{} << Pids{7};
    QTest::newRow("holds the lock file: ended") << deaf << true << "lock"
                                                << "" << false << "" << Pids{7} << Pids{7};
    QTest::newRow("another user's: left alone") << deaf << false << "target"
                                                << "" << false << "" << Pids{} << Pids{};
    QTest::newRow("holds nothing: left alone") << deaf << true << ""
                                               << "" << false << "" << Pids{} << Pids{};
    QTest::newRow("the holder ended, another Access kept")
        << deaf << true << "target"
        << "idle Access" << false << "" << Pids{7} << Pids{7};
    QTest::newRow("another program holding it: kept")
        << deaf << true << "target"
        << "Excel holding it" << false << "" << Pids{7} << Pids{7};
    QTest::newRow("cannot tell: every Access of this user")
        << deaf << true << ""
        << "idle Access" << true << "" << Pids{7, 9} << Pids{7, 9};
    QTest::newRow("cancelled during the grace: nobody ended")
        << deaf << true << "target"
        << "" << false << "cancel" << Pids{7} << Pids{};
    QTest::newRow("starts holding it during the grace: asked before it is ended")
        << deaf << true << "target"
        << "" << false << "newcomer" << Pids{7, 8} << Pids{7, 8};
    QTest::newRow("its pid taken by a new process during the grace: asked afresh")
        << deaf << true << "target"
        << "" << false << "pid reused" << Pids{7, 7} << Pids{7};
}

void TestAccessSweep::endAccessAtOnce() {
    QFETCH(int, onAsk);
    QFETCH(bool, ours);
    QFETCH(QString, holds);
    QFETCH(QString, beside);
    QFETCH(bool, cannotTell);
    QFETCH(QString, atFirstYield);
    QFETCH(QList<qint64>, asked);
    QFETCH(QList<qint64>, ended);
    using OnAsk = test::FakeProcessTable::OnAsk;
    const QString target = QStringLiteral("S:/apps/sales.accdb");
    const QString lock = QStringLiteral("S:/apps/sales.laccdb");
    test::FakeProcessTable table;
    table.running = {{7, QStringLiteral("MSACCESS.EXE"), 70, ours}};
    table.onAsk[7] = OnAsk(onAsk);
    if (!holds.isEmpty())
        table.holding[holds == "lock" ? lock : target] = {7};
    if (beside == "idle Access")
        table.running.append({9, QStringLiteral("MSACCESS.EXE"), 90, true});
    if (beside == "Excel holding it") {
        table.running.append({9, QStringLiteral("EXCEL.EXE"), 90, true});
        table.holding[target].append(9);
    }
    table.onAsk[9] = OnAsk::Ignores;
    table.cannotTellHolders = cannotTell;
    bool cancel = false;
    struct CountingYield : Yielder {
        int yields = 0;
        std::function<void()> first;
        void yield() override {
            if (++yields == 1 && first)
                first();
        }
    } yielder;
    yielder.first = [&] {
        if (atFirstYield == "cancel")
            cancel = true;
        if (atFirstYield == "pid reused")
            table.running.first().started = 71;
        if (atFirstYield == "newcomer") {
            table.running.append({8, QStringLiteral("msaccess.exe"), 80, true});
            table.onAsk[8] = OnAsk::Ignores;
            table.holding[target].append(8);
        }
    };
    QList<qint64> toldAsked, toldEnded;
    const int error = test::errorOf([&] {
        endAccessProcesses(
            table, target, yielder, 300, [&] { return cancel; },
            [&](AccessStep step, const ProcessEntry& process) {
                (step == AccessStep::Ended ? toldEnded : toldAsked).append(process.pid);
            });
    });
    QCOMPARE(error, cancel ? runTimeNumberOf(ErrorKind::UserInterrupt) : 0);
    QCOMPARE(table.asked, asked);
    QCOMPARE(table.terminated, ended);
    // The witness hears of every ask and end, as they succeeded.
    QCOMPARE(toldAsked, asked);
    QCOMPARE(toldEnded, ended);
    // Asked about the front end and its lock file every time; where that cannot be told, the
    // image name is asked for instead.
    QVERIFY(!table.holderQuestions.isEmpty());
    QCOMPARE(table.holderQuestions,
             QList<QStringList>(table.holderQuestions.size(), {target, lock}));
    QCOMPARE(table.queries.isEmpty(), !cannotTell);
    // The grace is waited out, yielding, only for one that was asked and is still in the way.
    const bool deafAsked = std::any_of(asked.cbegin(), asked.cend(), [&](qint64 pid) {
        return table.onAsk[pid] == OnAsk::Ignores;
    });
    QCOMPARE(yielder.yields > 0, deafAsked);
}

QTEST_GUILESS_MAIN(TestAccessSweep)
#include "test_AccessSweep.moc"
