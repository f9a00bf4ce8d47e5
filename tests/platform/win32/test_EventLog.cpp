// The console program's events: the message table compiled into tarselcopy.exe, as Event Viewer
// renders it, and what the Application log takes.

#include "core/RunTimeError.h"
#include "platform/EventLog.h"
#include "platform/win32/Win32.h"
#include "support/TestHost.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

using namespace tarsel;
using platform::RunEventId;
using platform::RunEventStringCount;

Q_DECLARE_METATYPE(platform::RunEvent)

namespace {

QString program() {
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/.."))
        .absoluteFilePath(QStringLiteral(TARSEL_CONSOLE_PROGRAM));
}

// The program file as Event Viewer opens an EventMessageFile: for its resources only.
struct MessageFile {
    HMODULE module = LoadLibraryExW(QDir::toNativeSeparators(program()).toStdWString().c_str(),
                                    nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ~MessageFile() {
        if (module)
            FreeLibrary(module);
    }
};

// The message of `id`, with `strings` inserted as Event Viewer inserts an event's; without
// insertion when `strings` is empty. A null string when there is no such message.
QString message(HMODULE module, DWORD id, const QStringList& strings) {
    std::vector<std::wstring> texts;
    for (const QString& text : strings)
        texts.push_back(text.toStdWString());
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& text : texts)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(text.c_str()));
    wchar_t* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
        (strings.isEmpty() ? FORMAT_MESSAGE_IGNORE_INSERTS : FORMAT_MESSAGE_ARGUMENT_ARRAY);
    const DWORD length =
        FormatMessageW(flags, module, id, 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                       strings.isEmpty() ? nullptr : reinterpret_cast<va_list*>(arguments.data()));
    if (length == 0)
        return QString();
    const QString text = QString::fromWCharArray(buffer, length);
    LocalFree(buffer);
    return text;
}

// The ids of every message in the module's message table.
std::set<DWORD> messageIds(HMODULE module) {
    std::set<DWORD> ids;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MESSAGETABLE);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const auto* table = static_cast<const MESSAGE_RESOURCE_DATA*>(LockResource(loaded));
    if (!table)
        return ids;
    for (DWORD block = 0; block < table->NumberOfBlocks; ++block)
        for (DWORD id = table->Blocks[block].LowId; id <= table->Blocks[block].HighId; ++id)
            ids.insert(id);
    return ids;
}

// An event as the Application log keeps it.
struct StoredEvent {
    DWORD recordNumber = 0;
    QString source;
    DWORD id = 0;
    WORD type = 0;
    QStringList strings;
};

// The newest events of the Application log, newest first.
std::vector<StoredEvent> newestEvents(int count) {
    std::vector<StoredEvent> events;
    HANDLE log = OpenEventLogW(nullptr, L"Application");
    if (!log)
        return events;
    std::vector<char> buffer(0x10000);
    while (int(events.size()) < count) {
        DWORD read = 0;
        DWORD needed = 0;
        if (!ReadEventLogW(log, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0,
                           buffer.data(), DWORD(buffer.size()), &read, &needed)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
                break;
            buffer.resize(needed);
            continue;
        }
        for (DWORD at = 0; at < read && int(events.size()) < count;) {
            const auto* record = reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + at);
            StoredEvent event;
            event.recordNumber = record->RecordNumber;
            event.source = QString::fromWCharArray(reinterpret_cast<const wchar_t*>(record + 1));
            event.id = record->EventID & 0xFFFF;
            event.type = record->EventType;
            const auto* text =
                reinterpret_cast<const wchar_t*>(buffer.data() + at + record->StringOffset);
            for (WORD i = 0; i < record->NumStrings; ++i) {
                event.strings << QString::fromWCharArray(text);
                text += wcslen(text) + 1;
            }
            events.push_back(event);
            at += record->Length;
        }
    }
    CloseEventLog(log);
    return events;
}

DWORD newestRecordNumber() {
    const std::vector<StoredEvent> newest = newestEvents(1);
    return newest.empty() ? 0 : newest.front().recordNumber;
}

QStringList stringsOf(const platform::RunEvent& event) {
    return QStringList(event.strings.begin(), event.strings.end());
}

platform::RunEvent runEvent(RunEventId id, bool error, const QStringList& strings) {
    platform::RunEvent event;
    event.id = id;
    event.error = error;
    std::copy(strings.begin(), strings.end(), event.strings.begin());
    return event;
}

const QString Digest =
    QStringLiteral("SHA-256 0b1e8ff0d8d1d6ee6a1b4a5f7c0e5ab5d5dfd1d0e77e6ad1c5fd6c9a3d3e6f21");

} // namespace

class TestEventLog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(program()).isFile(), qPrintable(program())); }

    // Each event's message with a run's strings, as an administrator reads it in Event Viewer.
    void messages_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<QStringList>("strings");
        QTest::addColumn<QString>("text");
        const QString target = QStringLiteral("C:\\Users\\ann\\Sales\\sales.accdb");
        const QString source = QStringLiteral("\\\\fileserver\\releases\\Sales\\sales.accdb");
        QTest::newRow("updated")
            << int(RunEventId::Updated)
            << QStringList{target, source, "0", "300000", "1.250", "", "release 42, " + Digest}
            << "Updated " + target + " from " + source +
                   ": this run put 300000 bytes into service in 1.250 s (exit code 0).\r\n"
                   "In service: release 42, " +
                   Digest + ".\r\n";
        QTest::newRow("updated, with what it did without")
            << int(RunEventId::Updated)
            << QStringList{target, source, "0", "300000", "1.250", "The creation date was not set",
                           Digest}
            << "Updated " + target + " from " + source +
                   ": this run put 300000 bytes into service in 1.250 s (exit code 0).\r\n"
                   "In service: " +
                   Digest + ".\r\nThe creation date was not set";
        QTest::newRow("current") << int(RunEventId::Current)
                                 << QStringList{target, source, "0", "0", "0.004", "", Digest}
                                 << target + " is current with " + source +
                                        ": nothing was copied (exit code 0).\r\nIn service: " +
                                        Digest +
                                        "; this run put 0 bytes into service in 0.004 s.\r\n";
        QTest::newRow("failed")
            << int(RunEventId::Failed)
            << QStringList{target,      source, "3", "0", "0.020", "Error 53 (File not found)",
                           "none known"}
            << "Updating " + target + " from " + source +
                   " failed (exit code 3): Error 53 (File not found)\r\nIn service: none known; "
                   "this run put 0 bytes into service in 0.020 s.";
        QTest::newRow("cancelled")
            << int(RunEventId::Cancelled)
            << QStringList{target, source, "8", "0", "2.500", "Cancelled", Digest}
            << "Updating " + target + " from " + source +
                   " was cancelled (exit code 8): Cancelled\r\nIn service: " + Digest +
                   "; this run put 0 bytes into service in 2.500 s.";
        QTest::newRow("refused command line")
            << int(RunEventId::Refused)
            << QStringList{"", "", "2", "0", "0.000", "Unknown option 'frobnicate'.", "none known"}
            << "A run was refused for its command line (exit code 2): Unknown option "
               "'frobnicate'.\r\nTarget: \r\nRelease: \r\nIn service at the target: none "
               "known; this run put 0 bytes into service in 0.000 s.";
        // An insertion string is inserted as it stands, never read as inserts of its own.
        QTest::newRow("a path with percent signs")
            << int(RunEventId::Failed)
            << QStringList{"C:\\%1\\%%2%n.accdb", source, "4", "0", "0.100", "Error 5", Digest}
            << "Updating C:\\%1\\%%2%n.accdb from " + source +
                   " failed (exit code 4): Error 5\r\nIn service: " + Digest +
                   "; this run put 0 bytes into service in 0.100 s.";
    }

    void messages() {
        QFETCH(int, id);
        QFETCH(QStringList, strings);
        QFETCH(QString, text);
        QCOMPARE(strings.size(), RunEventStringCount);
        const MessageFile file;
        QVERIFY2(file.module, qPrintable(win32SystemText()));
        QCOMPARE(message(file.module, DWORD(id), strings), text);
    }

    // The table holds one message for each event the program writes and no other, and each
    // message inserts every string an event carries and no further one: a message that named a
    // string past them would read past the event's strings.
    void everyEventHasItsMessage() {
        const MessageFile file;
        QVERIFY2(file.module, qPrintable(win32SystemText()));
        std::set<DWORD> expected;
        for (const RunEventId id : platform::RunEventIds)
            expected.insert(DWORD(id));
        QCOMPARE(messageIds(file.module), expected);
        static const QRegularExpression insert(QStringLiteral("%(\\d+)"));
        std::set<int> all;
        for (int i = 1; i <= RunEventStringCount; ++i)
            all.insert(i);
        for (const RunEventId id : platform::RunEventIds) {
            const QString raw = message(file.module, DWORD(id), {});
            QVERIFY2(!raw.isNull(), qPrintable(QString::number(int(id))));
            std::set<int> used;
            for (auto it = insert.globalMatch(QString(raw).remove(QStringLiteral("%%")));
                 it.hasNext();)
                used.insert(it.next().captured(1).toInt());
            QVERIFY2(used == all, qPrintable(QString::number(int(id)) + u' ' + raw));
        }
    }

    // The Application log takes every event, with its type and its strings; a string longer than
    // Windows takes is cut to the longest it takes.
    void reportsToTheApplicationLog_data() {
        QTest::addColumn<platform::RunEvent>("event");
        QTest::addColumn<QStringList>("stored");
        const QStringList strings{"C:\\app.accdb", "\\\\srv\\app.accdb", "0", "10", "0.100", "",
                                  Digest};
        for (const RunEventId id : platform::RunEventIds)
            QTest::addRow("event %d", int(id)) << runEvent(id, false, strings) << strings;
        QStringList failed = strings;
        failed[platform::EventExitCode] = "3";
        failed[platform::EventError] = "Error 53 (File not found)";
        QTest::newRow("an error event") << runEvent(RunEventId::Failed, true, failed) << failed;
        QStringList longError = failed;
        longError[platform::EventError] = QString(40'000, u'e');
        QStringList cut = failed;
        cut[platform::EventError] = QString(31'839, u'e');
        QTest::newRow("an error longer than Windows takes")
            << runEvent(RunEventId::Failed, true, longError) << cut;
        // Cut where a character would be halved: the whole character goes.
        longError[platform::EventError] = QString(31'838, u'e') + QStringLiteral("\U0001F600");
        cut[platform::EventError] = QString(31'838, u'e');
        QTest::newRow("cut before a character outside the BMP")
            << runEvent(RunEventId::Failed, true, longError) << cut;
    }

    void reportsToTheApplicationLog() {
        QFETCH(platform::RunEvent, event);
        QFETCH(QStringList, stored);
        const DWORD before = newestRecordNumber();
        try {
            platform::reportRunEvent(event);
        } catch (const RunTimeError& e) {
            QFAIL(qPrintable(e.description()));
        }
        for (const StoredEvent& newer : newestEvents(50)) {
            if (newer.recordNumber <= before)
                break;
            if (newer.source != QLatin1String("TarselCopyFile"))
                continue;
            QCOMPARE(newer.id, DWORD(event.id));
            QCOMPARE(newer.type,
                     WORD(event.error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE));
            QCOMPARE(newer.strings, stored);
            return;
        }
        if (!test::wineVersion().isEmpty())
            QSKIP("Wine's ReportEventW stores nothing: it only traces the strings, and returned "
                  "success");
        QFAIL(qPrintable(QStringLiteral("no event of TarselCopyFile after record %1: ") +
                         stringsOf(event).join(u' ')));
    }

private:
    static QString win32SystemText() { return platform::win32::systemText(GetLastError()); }
};

QTEST_GUILESS_MAIN(TestEventLog)
#include "test_EventLog.moc"
