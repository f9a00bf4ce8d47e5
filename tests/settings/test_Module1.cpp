#include "settings/Module1.h"
#include "settings/RunPolicy.h"
#include "support/SettingsFixture.h"
#include "support/TestHost.h"
#include "support/WindowSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>
#include <QtTest>

using namespace tarsel;
using test::Source;
using test::store;
using test::stored;
using test::Target;
using test::text;
using Scope = test::IsolatedPresets::Scope;

namespace {

// What the Group Policy templates name and refer to.
struct Templates {
    QString error; // empty when both files are well-formed
    QStringList keys, valueNames;
    QStringList classes;       // of the policy each value name is set by, in the same order
    QSet<QString> elementIds;  // of the policies' elements
    QStringList references;    // "string.X" and "presentation.X" in any attribute
    QSet<QString> definitions; // "string.X" and "presentation.X" that the language file holds
    QSet<QString> refIds;      // the language file's references to the policies' elements
};

// Calls `element` with the name and attributes of each element of the file; false on an XML error.
template <typename Element> bool readXml(const QString& path, QString& error, Element element) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    QXmlStreamReader xml(&file);
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement)
            element(xml.name().toString(), xml.attributes());
    if (xml.hasError())
        error = QStringLiteral("%1:%2: %3").arg(path).arg(xml.lineNumber()).arg(xml.errorString());
    return !xml.hasError();
}

Templates readTemplates() {
    static const QRegularExpression reference(
        QStringLiteral("^\\$\\(((?:string|presentation)\\.[^)]+)\\)$"));
    Templates t;
    QString policyClass;
    const auto definition = [&](const QString& name, const QXmlStreamAttributes& attributes) {
        const auto value = [&](const char* attribute) {
            return attributes.value(QLatin1String(attribute)).toString();
        };
        if (attributes.hasAttribute(QLatin1String("key")))
            t.keys << value("key");
        if (name == QLatin1String("policy"))
            policyClass = value("class");
        if (attributes.hasAttribute(QLatin1String("valueName"))) {
            t.valueNames << value("valueName");
            t.classes << policyClass;
        }
        if (name == QLatin1String("text") || name == QLatin1String("boolean"))
            t.elementIds << value("id");
        for (const QXmlStreamAttribute& attribute : attributes)
            if (const auto match = reference.match(attribute.value()); match.hasMatch())
                t.references << match.captured(1);
    };
    const auto language = [&](const QString& name, const QXmlStreamAttributes& attributes) {
        if (name == QLatin1String("string") || name == QLatin1String("presentation"))
            t.definitions << name + u'.' + attributes.value(QLatin1String("id")).toString();
        if (attributes.hasAttribute(QLatin1String("refId")))
            t.refIds << attributes.value(QLatin1String("refId")).toString();
    };
    if (readXml(QStringLiteral(":/policy/TarselCopyFile.admx"), t.error, definition))
        readXml(QStringLiteral(":/policy/en-US/TarselCopyFile.adml"), t.error, language);
    return t;
}

} // namespace

// The two registry routines on the store of the system they run on; how each system lays the
// store out is tested with its own code (tests/platform/<os>/).
class TestModule1 : public QObject {
    Q_OBJECT

    test::FreshSettings settings;

private slots:
    void init() { settings.begin(); }
    void cleanup() { settings.end(); }

    void readsNothingWithoutAStore() {
        QCOMPARE(stored(Target), std::nullopt);
        QCOMPARE(stored(Source), std::nullopt);
        store(Target, QStringLiteral("/srv/app.accdb"));
        QCOMPARE(stored(Source), std::nullopt);
        QCOMPARE(stored(Target), text("/srv/app.accdb"));
    }

    // A store made inside another is in force while it lives and is removed with it; the outer
    // one is back then, its values untouched; after the last, the environment is as it was.
    void storesNestAndLeaveNothingBehind() {
        store(Target, QStringLiteral("outer"));
        QString inner;
        {
            const test::IsolatedSettings nested;
            inner = nested.location();
            QVERIFY(inner != settings->location());
            QCOMPARE(stored(Target), std::nullopt);
            store(Target, QStringLiteral("inner"));
            QCOMPARE(stored(Target), text("inner"));
        }
        QCOMPARE(stored(Target), text("outer"));
        QVERIFY2(!QFileInfo::exists(inner), qPrintable(inner));

        settings.end();
        const auto environment = [] {
            QByteArrayList values;
            for (const char* name : {"TARSEL_TEST_SETTINGS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
                values << (qEnvironmentVariableIsSet(name) ? "=" + qgetenv(name) : "unset");
            return values;
        };
        const QByteArrayList before = environment();
        {
            const test::IsolatedSettings outer;
            const test::IsolatedSettings nested;
            QVERIFY(environment() != before);
        }
        QCOMPARE(environment(), before);
        settings.begin();
    }

    void keepsAnyText_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("path") << QStringLiteral("/home/ana/Front End/app v2.accdb");
        QTest::newRow("empty") << QString();
        QTest::newRow("accents, CJK, RTL") << QStringLiteral("/data/Jürgen/Données/日本語/עברית");
        QTest::newRow("emoji") << QStringLiteral("\U0001F600 \U0001F389");
        QTest::newRow("INI syntax") << QStringLiteral("a=b; c, d # e [f] \"g\" \\h %41 @i");
        QTest::newRow("blanks around") << QStringLiteral("  padded\t ");
        QTest::newRow("looks like bytes") << QStringLiteral("@ByteArray(not bytes)");
        QTest::newRow("line breaks") << QStringLiteral("one\ntwo\r\nthree");
        QTest::newRow("beyond 32,767") << QString(40'000, u'x') + QStringLiteral("end");
    }

    void keepsAnyText() {
        QFETCH(QString, value);
        store(Source, value);
        settings->forgetWhatWasRead(); // read from the store, not from this process's memory
        QCOMPARE(stored(Source), text(value));
    }

    void endsAtTheFirstNul_data() {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("read");
        QTest::newRow("in the middle")
            << QStringLiteral("abc") + QChar(0) + QStringLiteral("def") << QStringLiteral("abc");
        QTest::newRow("first") << QChar(0) + QStringLiteral("abc") << QString();
    }

    void endsAtTheFirstNul() {
        QFETCH(QString, written);
        QFETCH(QString, read);
        store(Target, written);
        settings->forgetWhatWasRead();
        QCOMPARE(stored(Target), text(read));
    }

    // An administrator's presets: the computer's and the user's (Group Policy on Windows, the
    // system configuration folders on Linux), each value its own.
    void presetsWhatTheUserHasNotStored_data() {
        QTest::addColumn<QString>("computer"); // each preset: this, '\\' and the value's name
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("own"); // what the user stored as the target; null for nothing
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        const QString computer = QStringLiteral("C:\\computer");
        const QString user = QStringLiteral("U:\\user");
        QTest::newRow("the computer's") << computer << QString() << QString()
                                        << computer + u'\\' + Source << computer + u'\\' + Target;
        QTest::newRow("the user's")
            << QString() << user << QString() << user + u'\\' + Source << user + u'\\' + Target;
        QTest::newRow("the computer's over the user's")
            << computer << user << QString() << computer + u'\\' + Source
            << computer + u'\\' + Target;
        QTest::newRow("the user's own value over both")
            << computer << user << QStringLiteral("D:\\mine.accdb") << computer + u'\\' + Source
            << QStringLiteral("D:\\mine.accdb");
        QTest::newRow("even an empty one")
            << computer << user << QStringLiteral("") << computer + u'\\' + Source << QString();
    }

    void presetsWhatTheUserHasNotStored() {
        QFETCH(QString, computer);
        QFETCH(QString, user);
        QFETCH(QString, own);
        QFETCH(QString, source);
        QFETCH(QString, target);
        test::IsolatedPresets presets;
        for (const QString& name : {Source, Target}) {
            if (!computer.isNull())
                QVERIFY(presets.set(Scope::Computer, name, computer + u'\\' + name));
            if (!user.isNull())
                QVERIFY(presets.set(Scope::User, name, user + u'\\' + name));
        }
        if (!own.isNull())
            store(Target, own);
        QCOMPARE(stored(Source), text(source));
        QCOMPARE(stored(Target), text(target));
    }

    // How a tarselcopy run goes is the computer's policy alone, with whether the command line may
    // override it.
    void runPoliciesAreTheComputers_data() {
        QTest::addColumn<QString>("scope"); // where the presets are set: "computer", "user", "own"
        QTest::addColumn<QString>("override"); // the NAMECommandLine value; null for none
        QTest::addColumn<bool>("read");
        QTest::addColumn<bool>("overrides");
        QTest::newRow("the computer's") << "computer" << QString() << true << false;
        QTest::newRow("the computer's, the command line let override it") << "computer"
                                                                          << "1" << true << true;
        QTest::newRow("an override other than 1: not let") << "computer"
                                                           << "yes" << true << false;
        QTest::newRow("an override of 0") << "computer"
                                          << "0" << true << false;
        // On Linux the user's preset folder is the system's too, which only an administrator
        // writes.
        QTest::newRow("the user's policy")
            << "user"
            << "1" << test::userScopeIsTheComputers() << test::userScopeIsTheComputers();
        QTest::newRow("the user's own store: never") << "own"
                                                     << "1" << false << false;
    }

    void runPoliciesAreTheComputers() {
        QFETCH(QString, scope);
        QFETCH(QString, override);
        QFETCH(bool, read);
        QFETCH(bool, overrides);
        test::IsolatedPresets presets;
        const QStringList names = RunPolicyNames + QStringList{TrustedKeys};
        for (const QString& name : names) {
            const QString value = name + QStringLiteral(" value");
            const QList<std::pair<QString, QString>> values{{name, value},
                                                            {name + CommandLineSuffix, override}};
            for (const auto& [valueName, text] : values) {
                if (text.isNull())
                    continue;
                if (scope == "own")
                    RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, valueName, text);
                else
                    QVERIFY(presets.set(scope == "user" ? Scope::User : Scope::Computer, valueName,
                                        text));
            }
        }
        for (const QString& name : names) {
            const Policy policy = computerPolicy(name);
            QCOMPARE(policy.value,
                     read ? std::optional(name + QStringLiteral(" value")) : std::nullopt);
            QCOMPARE(policy.commandLineOverrides, overrides);
        }
    }

    // The window stores back every path it restores; the user keeps following the preset until
    // they choose a path of their own.
    void neverStoresAPresetAsTheUsersOwn() {
        test::IsolatedPresets presets;
        QVERIFY(presets.set(Scope::Computer, Target, QStringLiteral("C:\\preset.accdb")));
        store(Target, QStringLiteral("C:\\preset.accdb"));
        QVERIFY(presets.set(Scope::Computer, Target, QStringLiteral("C:\\moved.accdb")));
        QCOMPARE(stored(Target), text(QStringLiteral("C:\\moved.accdb")));
        store(Target, QStringLiteral("C:\\mine.accdb"));
        QVERIFY(presets.set(Scope::Computer, Target, QStringLiteral("C:\\again.accdb")));
        QCOMPARE(stored(Target), text(QStringLiteral("C:\\mine.accdb")));
    }

    // The administrative templates for Group Policy set the key and values that the program
    // reads, no others; and each name they show is in the language file.
    void policyTemplatesMatchWhatIsRead() {
        const Templates templates = readTemplates();
        QVERIFY2(templates.error.isEmpty(), qPrintable(templates.error));
        QVERIFY(!templates.keys.isEmpty());
        for (const QString& key : templates.keys)
            QCOMPARE(key, PolicyKeyPath);
        // The paths for the computer and the user alike; the rest for the computer alone, where a
        // user cannot remove it, each with whether the command line may override it.
        for (qsizetype i = 0; i < templates.classes.size(); ++i)
            QCOMPARE(templates.classes[i], PolicyValueNames.contains(templates.valueNames[i])
                                               ? QStringLiteral("Both")
                                               : QStringLiteral("Machine"));
        QStringList names = templates.valueNames;
        QStringList read = PolicyValueNames;
        for (const QString& name : RunPolicyNames + QStringList{TrustedKeys})
            read << name << name + CommandLineSuffix;
        names.sort();
        read.sort();
        QCOMPARE(names, read);
        QVERIFY(!templates.references.isEmpty());
        for (const QString& reference : templates.references)
            QVERIFY2(templates.definitions.contains(reference), qPrintable(reference));
        QCOMPARE(templates.refIds, templates.elementIds);
    }
};

QTEST_GUILESS_MAIN(TestModule1)
#include "test_Module1.moc"
