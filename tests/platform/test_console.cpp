#include "core/RunTimeError.h"
#include "platform/AppendLog.h"
#include "platform/Console.h"
#include "platform/Opener.h"
#include "support/ErrorOf.h"
#include "support/FileFixtures.h"

#include <QtTest>

#include <cstdio>
#include <optional>
#include <set>

using namespace tarsel;
using namespace tarsel::platform;
using namespace tarsel::test;

namespace {

// One line of an appending child: who wrote it, which of its lines, and a length of its own that
// a line mixed with another's would not keep.
QByteArray logLine(int writer, int index) {
    const QByteArray head = QByteArray::number(writer) + ':' + QByteArray::number(index) + ':';
    return head + QByteArray(40 + (writer * 37 + index * 11) % 400, char('a' + writer)) + '\n';
}

constexpr int Writers = 4;
constexpr int LinesEach = 300;

// What this test program does when it runs as a child of itself; nothing for other arguments.
//   --append FILE WRITER         appends its LinesEach lines to FILE
//   --terminal                   says whether its standard error is a terminal
//   --interrupt CLEANED          waits for an interrupt, then cleans up (makes CLEANED)
std::optional<int> runAsChild(const QStringList& args) {
    const QString mode = args.value(1);
    if (mode == QLatin1String("--append")) {
        const int writer = args.value(3).toInt();
        for (int i = 0; i < LinesEach; ++i)
            appendLine(args.value(2), logLine(writer, i));
        return 0;
    }
    if (mode == QLatin1String("--terminal")) {
        std::puts(stderrIsTerminal() ? "terminal" : "not a terminal");
        return 0;
    }
    if (mode == QLatin1String("--interrupt")) {
        catchInterrupts();
        std::puts("ready");
        std::fflush(stdout);
        const QDeadlineTimer deadline(20000);
        while (!interrupted() && !deadline.hasExpired())
            QThread::msleep(10);
        if (!interrupted())
            return 3;
        // A clean-up that takes a while, as removing a large staging file on a share may.
        QThread::msleep(300);
        QFile cleaned(args.value(2));
        if (!cleaned.open(QIODevice::WriteOnly))
            return 4;
        cleaned.close();
        interruptHandled();
        std::puts("interrupted");
        return 0;
    }
    return std::nullopt;
}

} // namespace

class TestConsole : public QObject, InTempFolder {
    Q_OBJECT

    static QString self() { return QCoreApplication::applicationFilePath(); }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // Several processes appending at once: every line whole, none lost.
    void concurrentAppendsKeepEveryLineWhole() {
        if (const QString why = missing(Facility::AtomicAppend); !why.isEmpty())
            QSKIP(qPrintable(why));
        const QString log = path("concurrent.log");
        std::vector<std::unique_ptr<QProcess>> writers;
        for (int writer = 0; writer < Writers; ++writer) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(self(), {"--append", log, QString::number(writer)});
        }
        for (const auto& writer : writers) {
            QVERIFY(writer->waitForFinished(120000));
            QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
            QCOMPARE(writer->exitCode(), 0);
        }
        QByteArray all = readFile(log);
        QVERIFY(all.endsWith('\n'));
        all.chop(1);
        std::set<std::pair<int, int>> seen;
        for (const QByteArray& line : all.split('\n')) {
            const QList<QByteArray> fields = line.split(':');
            QCOMPARE(fields.size(), 3);
            const int writer = fields[0].toInt();
            const int index = fields[1].toInt();
            QCOMPARE(line + '\n', logLine(writer, index));
            QVERIFY(seen.insert({writer, index}).second);
        }
        QCOMPARE(int(seen.size()), Writers * LinesEach);
    }

    void appendLine_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("before"); // what the file holds first; null: no file
        QTest::addColumn<int>("error");
        QTest::newRow("a new file") << path("new.log") << QByteArray() << 0;
        QTest::newRow("after what is there") << path("old.log") << QByteArray("first line\n") << 0;
        QTest::newRow("in a missing folder") << path("no such folder/run.log") << QByteArray()
                                             << errorNumberFor(Mistake::MissingFolder);
    }

    void appendLine() {
        QFETCH(QString, file);
        QFETCH(QByteArray, before);
        QFETCH(int, error);
        if (!before.isNull())
            QVERIFY(writeFile(file, before));
        const QByteArray line = "2026-01-02T03:04:05+01:00\tuser\tupdated\t0\n";
        const qsizetype openBefore = openHandleCount();
        QCOMPARE(errorOf([&] { platform::appendLine(file, line); }), error);
        QCOMPARE(openHandleCount(), openBefore);
        if (error == 0)
            QCOMPARE(readFile(file), before + line);
        else
            QVERIFY(!QFileInfo::exists(file));
    }

    // A line that rewrites itself with '\r' only where a person watches: never in a file, a pipe
    // or the null device (which the C runtime on Windows takes for a terminal).
    void stderrIsTerminalOnlyForATerminal_data() {
        QTest::addColumn<QString>("errorFile"); // empty: a pipe
        QTest::newRow("a pipe") << QString();
        QTest::newRow("a file") << path("stderr.txt");
        QTest::newRow("the null device") << QProcess::nullDevice();
    }

    void stderrIsTerminalOnlyForATerminal() {
        QFETCH(QString, errorFile);
        QProcess child;
        if (!errorFile.isEmpty())
            child.setStandardErrorFile(errorFile);
        child.start(self(), {"--terminal"});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("not a terminal"));
    }

    void interruptsAreNotedNotFatal_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("waitsForCleanUp");
        QTest::addColumn<bool>("ignored"); // by whoever started the child
        for (const InterruptKind& kind : interruptKinds()) {
            QTest::newRow(qPrintable(kind.label)) << kind.label << kind.waitsForCleanUp << false;
            if (kind.ignorable)
                QTest::newRow(qPrintable(kind.label + " ignored from the start: not heard"))
                    << kind.label << kind.waitsForCleanUp << true;
        }
    }

    // The interrupted child lives on to clean up and ends by itself; where the system would end
    // it once told, the telling lasts until the clean-up is done. One that was started with the
    // interrupt ignored goes on as if none had come, until another interrupt.
    void interruptsAreNotedNotFatal() {
        QFETCH(QString, kind);
        QFETCH(bool, waitsForCleanUp);
        QFETCH(bool, ignored);
        const QString cleaned = path("cleaned " + QString::fromLatin1(QTest::currentDataTag()));
        QProcess child;
        startInterruptible(child, self(), {"--interrupt", cleaned}, ignored ? kind : QString());
        QVERIFY(child.waitForReadyRead(60000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("ready"));
        if (const QString why = interrupt(child, kind); !why.isEmpty()) {
            child.kill();
            child.waitForFinished();
            QSKIP(qPrintable(why));
        }
        if (ignored) {
            // Heard, it would have ended within its clean-up's 300 ms.
            QVERIFY(!child.waitForFinished(1500));
            QVERIFY(!QFileInfo::exists(cleaned));
            const QList<InterruptKind> kinds = interruptKinds();
            const auto other = std::find_if(kinds.begin(), kinds.end(),
                                            [](const InterruptKind& k) { return !k.ignorable; });
            QVERIFY(other != kinds.end());
            QCOMPARE(interrupt(child, other->label), QString());
        }
        if (waitsForCleanUp)
            QVERIFY(QFileInfo::exists(cleaned));
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("interrupted"));
        QVERIFY(QFileInfo::exists(cleaned));
    }

    void userNameIsTheAccounts() { QCOMPARE(userName(), accountName()); }

    // The opener gets the whole path, however it is spelled, and none of this program's standard
    // streams: a script that reads this program's output must not wait for the opened program.
    void opensWithTheSystemsOpener() {
        const QString record = path("opened.txt");
        QVERIFY(QDir(dir.path()).mkpath("opener"));
        const StandInOpener opener(path("opener"), record);
        if (!opener.missing().isEmpty())
            QSKIP(qPrintable(opener.missing()));
        const QString file = path("front end" + StandInOpener::standInExtension());
        QVERIFY(writeFile(file, "release"));
        QString error;
        try {
            openWithAssociatedProgram(file);
        } catch (const RunTimeError& e) {
            error = e.description();
        }
        QCOMPARE(error, QString());
        const auto lines = [&] {
            return QString::fromLocal8Bit(readFile(record))
                .split(QRegularExpression("\r?\n"), Qt::SkipEmptyParts);
        };
        QTRY_COMPARE_WITH_TIMEOUT(lines().value(0), QDir::toNativeSeparators(file), 30000);
        for (const QString& stream : lines().mid(1, 3))
            QCOMPARE(stream, QProcess::nullDevice());
    }

    void openFailures_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("openerAbsent");
        QTest::addColumn<int>("error");
        QTest::newRow("a missing file") << "missing" + StandInOpener::standInExtension() << false
                                        << runTimeNumberOf(ErrorKind::FileNotFound);
        QTest::newRow("no program to open it with") << "orphan" + StandInOpener::standInExtension()
                                                    << true << errorNumberFor(Mistake::NoOpener);
    }

    void openFailures() {
        QFETCH(QString, name);
        QFETCH(bool, openerAbsent);
        QFETCH(int, error);
        const QString record = path("not-opened.txt");
        const QString folder = path("opener for " + QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir(dir.path()).mkpath(folder));
        const StandInOpener opener(folder, record, openerAbsent);
        if (!opener.missing().isEmpty())
            QSKIP(qPrintable(opener.missing()));
        if (!name.startsWith("missing"))
            QVERIFY(writeFile(path(name), "release"));
        QCOMPARE(errorOf([&] { openWithAssociatedProgram(path(name)); }), error);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (const std::optional<int> childExit = runAsChild(app.arguments()))
        return *childExit;
    TestConsole test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_console.moc"
