#include "settings/Module1.h"
#include "support/ProgramRun.h"
#include "support/SettingsFixture.h"

#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <optional>

using namespace tarsel;
using test::Source;
using test::Target;

namespace {

using test::ProgramRun;

// Windows' own reg.exe, as a person would run it.
ProgramRun reg(const QStringList& arguments) {
    return test::runProgram(QStringLiteral("reg"), arguments, 60'000);
}

// The text of a value in a .reg file that `reg export` wrote (UTF-16, '\' and '"' escaped).
std::optional<QString> exportedText(const QString& regFile, const QString& name) {
    QFile file(regFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    auto decode = QStringDecoder(QStringDecoder::Utf16LE);
    const QString content = decode(file.readAll());
    const QString start = u'"' + name + QStringLiteral("\"=\"");
    for (const QString& line : content.split(QStringLiteral("\r\n"))) {
        if (!line.startsWith(start) || !line.endsWith(u'"'))
            continue;
        const QString escaped = line.mid(start.size()).chopped(1);
        QString text;
        for (qsizetype i = 0; i < escaped.size(); ++i)
            text += escaped[i] == u'\\' && i + 1 < escaped.size() ? escaped[++i] : escaped[i];
        return text;
    }
    return std::nullopt;
}

bool isAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

// The two paths where existing installations keep them and a person finds them with reg.exe:
// REG_SZ values under HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Ombrix\GeneralControl.
class TestRegistry : public QObject {
    Q_OBJECT

    test::FreshSettings settings_;
    QTemporaryDir dir_;

    // The window's key as reg.exe names it, in the registry this test has to itself.
    QString key() const { return settings_->location() + u'\\' + SettingsKeyPath; }

private slots:
    void init() { settings_.begin(); }
    void cleanup() { settings_.end(); }

    void roundTripsThroughRegExe_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("path with blanks")
            << QStringLiteral("C:\\Program Files\\Tarsel\\Front End\\app v2.accdb");
        QTest::newRow("names outside ASCII")
            << QString::fromUtf8("D:\\Ausgabe – ñ\\Frontend ✓ Übersicht 版本.accdb");
        QTest::newRow("share") << QStringLiteral("\\\\server\\front end\\app.accdb");
        QTest::newRow("empty") << QString();
    }

    void roundTripsThroughRegExe() {
        QFETCH(QString, text);
        QVERIFY(dir_.isValid());
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, Source, text);

        // reg query lists it as text; it writes in the console's code page, which may not hold
        // every character, so the text itself is compared where it is ASCII.
        const ProgramRun query =
            reg({QStringLiteral("query"), key(), QStringLiteral("/v"), Source});
        QVERIFY2(query.exitCode == 0, qPrintable(query.output));
        const QString listed = QStringLiteral("    ") + Source + QStringLiteral("    REG_SZ    ");
        const QStringList lines = query.output.split(QStringLiteral("\r\n"));
        const auto line = std::find_if(lines.cbegin(), lines.cend(),
                                       [&](const QString& l) { return l.startsWith(listed); });
        QVERIFY2(line != lines.cend(), qPrintable(query.output));
        if (isAscii(text))
            QCOMPARE(line->mid(listed.size()).trimmed(), text.trimmed());

        // reg export writes UTF-16: the exact text.
        const QString exported = QDir::toNativeSeparators(dir_.filePath(QStringLiteral("key.reg")));
        const ProgramRun exporting =
            reg({QStringLiteral("export"), key(), exported, QStringLiteral("/y")});
        QVERIFY2(exporting.exitCode == 0, qPrintable(exporting.output));
        QCOMPARE(exportedText(exported, Source), std::optional<QString>(text));

        // And what reg add stores, the window reads.
        const ProgramRun add =
            reg({QStringLiteral("add"), key(), QStringLiteral("/v"), Target, QStringLiteral("/t"),
                 QStringLiteral("REG_SZ"), QStringLiteral("/d"), text, QStringLiteral("/f")});
        QVERIFY2(add.exitCode == 0, qPrintable(add.output));
        QCOMPARE(RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, Target),
                 std::optional<QString>(text));
    }

    // Group Policy writes REG_EXPAND_SZ: this user's environment variables are put in, so that one
    // policy serves every user. REG_SZ is taken as it is.
    void expandsPresetsForEachUser_data() {
        QTest::addColumn<QString>("preset");
        QTest::addColumn<bool>("expandable");
        QTest::addColumn<QString>("read");
        const QString local = qEnvironmentVariable("LOCALAPPDATA");
        const QString tail = QString(300, u'x');
        QTest::newRow("a folder of the user's")
            << QStringLiteral("%LOCALAPPDATA%\\Sales\\sales.accdb") << true
            << local + QStringLiteral("\\Sales\\sales.accdb");
        QTest::newRow("longer than the first read")
            << QStringLiteral("%LOCALAPPDATA%\\") + tail << true << local + u'\\' + tail;
        QTest::newRow("longer once expanded")
            << QStringLiteral("%LOCALAPPDATA%").repeated(12) << true << local.repeated(12);
        QTest::newRow("beyond 32,767 characters once expanded")
            << QStringLiteral("%LOCALAPPDATA%").repeated(1'300) << true << local.repeated(1'300);
        QTest::newRow("an unknown variable")
            << QStringLiteral("%TARSEL_NO_SUCH_VARIABLE%\\app.accdb") << true
            << QStringLiteral("%TARSEL_NO_SUCH_VARIABLE%\\app.accdb");
        QTest::newRow("REG_SZ") << QStringLiteral("%LOCALAPPDATA%\\app.accdb") << false
                                << QStringLiteral("%LOCALAPPDATA%\\app.accdb");
    }

    void expandsPresetsForEachUser() {
        QFETCH(QString, preset);
        QFETCH(bool, expandable);
        QFETCH(QString, read);
        if (read.size() > 32'767 && !test::wineVersion().isEmpty())
            QSKIP(qPrintable(QStringLiteral("Wine %1 expands at most 32,767 characters, and "
                                            "reports the rest as done")
                                 .arg(test::wineVersion())));
        QVERIFY(!qEnvironmentVariable("LOCALAPPDATA").isEmpty());
        test::IsolatedPresets presets;
        if (expandable)
            QVERIFY(presets.set(test::IsolatedPresets::Scope::Computer, Source, preset));
        else
            RegSetString(HKEY_CURRENT_USER, PolicyKeyPath, Source, preset);
        QCOMPARE(RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, Source),
                 std::optional<QString>(read));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "test_Registry.moc"
