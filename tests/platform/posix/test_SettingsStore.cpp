#include "settings/Module1.h"
#include "support/SettingsFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace tarsel;
using test::Source;
using test::store;
using test::stored;
using test::Target;
using test::text;

class TestSettingsStore : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    test::FreshSettings settings;
    std::unique_ptr<QTemporaryDir> system; // the system configuration folders "first" and "second"

    QString config(const QString& name) const { return QDir(settings->location()).filePath(name); }

    QString storePath() const { return config(test::StoreFile); }

    QString presetPath(const char* folder) const {
        return system->filePath(QLatin1String(folder) + u'/' + test::StoreFile);
    }

    QByteArray storeContent() const {
        QFile file(storePath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void writeByHand(const QString& path, const QByteArray& content) {
        QVERIFY2(test::writeByHand(path, content), qPrintable(path));
    }

    void rewriteStore(const QByteArray& content) { writeByHand(storePath(), content); }

    static void useStoreIn(const QString& folder) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    }

private slots:
    void initTestCase() {
        // Should the store ever ignore XDG_CONFIG_HOME, it still stays away from the real one.
        QVERIFY(home.isValid());
        qputenv("HOME", QFile::encodeName(home.path()));
    }

    void init() {
        settings.begin();
        system = std::make_unique<QTemporaryDir>();
        QVERIFY(system->isValid());
        qputenv("XDG_CONFIG_DIRS",
                QFile::encodeName(system->filePath("first") + u':' + system->filePath("second")));
    }

    void cleanup() { settings.end(); }

    void createsTheFileWithTheFirstValue() {
        QCOMPARE(stored(Target), std::nullopt);
        QVERIFY(!QFileInfo::exists(storePath()));
        store(Target, QStringLiteral("/srv/app.accdb"));
        QVERIFY(QFileInfo::exists(storePath()));
    }

    // XDG_CONFIG_HOME must be absolute; otherwise the store is in ~/.config.
    void ignoresARelativeConfigFolder() {
        useStoreIn(QStringLiteral("relative/config"));
        store(Target, QStringLiteral("/srv/app.accdb"));
        QVERIFY(
            QFileInfo::exists(home.filePath(QStringLiteral(".config/Ombrix/TarselCopyFile.ini"))));
        QVERIFY(!QFileInfo::exists(QStringLiteral("relative")));
    }

    // The layout a person reads and edits: the section and the value names as they are.
    void keepsAFileAPersonCanEdit() {
        store(Target, QStringLiteral("/srv/app.accdb"));
        store(Source, QStringLiteral("/srv/releases/app.accdb"));
        QCOMPARE(storeContent(), QByteArray("[GeneralControl]\n"
                                            "NewVersionLocation=/srv/releases/app.accdb\n"
                                            "RunningVersionLocation=/srv/app.accdb\n"));

        rewriteStore("; edited by hand\n"
                     "[GeneralControl]\n"
                     "NewVersionLocation = /srv/releases/app 2.accdb\n"
                     "RunningVersionLocation=\"/srv/Front End, live/app.accdb\"\n");
        QCOMPARE(stored(Source), text("/srv/releases/app 2.accdb"));
        QCOMPARE(stored(Target), text("/srv/Front End, live/app.accdb"));
    }

    // Roots, key paths and names that a careless mapping onto INI keys would merge.
    void keepsKeysApart() {
        const QString path = SettingsKeyPath;
        const QList<std::tuple<quint32, QString, QString>> keys = {
            {HKEY_CURRENT_USER, path, Target},
            {0x80000002, path, Target},
            {HKEY_CURRENT_USER, QString(path).replace(u'\\', u'/'), Target},
            {HKEY_CURRENT_USER, path + QStringLiteral("\\") + Target, QString()},
            {HKEY_CURRENT_USER, path, Target.toLower()},
            {HKEY_CURRENT_USER, path, QStringLiteral("a/b")},
            {HKEY_CURRENT_USER, path + QStringLiteral("/a"), QStringLiteral("b")},
            {HKEY_CURRENT_USER, path, QStringLiteral("a\\b")},
            {HKEY_CURRENT_USER, path, QStringLiteral("a%2Fb")},
            {HKEY_CURRENT_USER, path + QStringLiteral(":x"), QStringLiteral("y")},
            {HKEY_CURRENT_USER, path, QStringLiteral("x:y")},
            {HKEY_CURRENT_USER, QStringLiteral("x"), QString()},
            {HKEY_CURRENT_USER, QString(), QStringLiteral("x")},
            {HKEY_CURRENT_USER, QString(), QString()},
        };
        for (qsizetype i = 0; i < keys.size(); ++i)
            RegSetString(std::get<0>(keys[i]), std::get<1>(keys[i]), std::get<2>(keys[i]),
                         QString::number(i));
        rewriteStore(storeContent());
        for (qsizetype i = 0; i < keys.size(); ++i)
            QCOMPARE(RegGetString(std::get<0>(keys[i]), std::get<1>(keys[i]), std::get<2>(keys[i])),
                     text(QString::number(i)));
    }

    void readsNothingForValuesThatAreNotText_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("bytes") << QByteArray("@ByteArray(abc)");
        QTest::newRow("number") << QByteArray("@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)");
        QTest::newRow("list") << QByteArray("a, b");
        QTest::newRow("invalid") << QByteArray("@Invalid()");
    }

    void readsNothingForValuesThatAreNotText() {
        QFETCH(QByteArray, raw);
        store(Target, QStringLiteral("placeholder"));
        store(Source, QStringLiteral("/src"));
        QByteArray content = storeContent();
        QVERIFY(content.contains("placeholder"));
        rewriteStore(content.replace("placeholder", raw));

        QCOMPARE(stored(Target), std::nullopt);
        QCOMPARE(stored(Source), text("/src"));
        store(Target, QStringLiteral("/dst"));
        QCOMPARE(stored(Target), text("/dst"));
    }

    void replacesAStoreItCannotParse_data() {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("unterminated section") << QByteArray("\n[Broken section\n");
        QTest::newRow("line without =") << QByteArray("\nstray words\n");
    }

    // A store that cannot be parsed counts as empty, even where parts of it could be read, and the
    // next write leaves a store holding that write alone.
    void replacesAStoreItCannotParse() {
        QFETCH(QByteArray, damage);
        store(Target, QStringLiteral("/old/target"));
        store(Source, QStringLiteral("/old/source"));
        rewriteStore(storeContent() + damage);

        for (int read = 0; read < 2; ++read) {
            QCOMPARE(stored(Target), std::nullopt);
            QCOMPARE(stored(Source), std::nullopt);
        }
        store(Source, QStringLiteral("/new/source"));
        rewriteStore(storeContent());
        QCOMPARE(stored(Source), text("/new/source"));
        QCOMPARE(stored(Target), std::nullopt);
        QVERIFY(!storeContent().contains(damage.trimmed()));
    }

    void readsThePresetsUnlessTheUserHasAValue_data() {
        QTest::addColumn<QByteArray>("user");
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("second");
        QTest::addColumn<QString>("read");
        const QByteArray section = "[GeneralControl]\n";
        const QByteArray preset = section + "RunningVersionLocation=/preset\n";
        QTest::newRow("preset") << QByteArray() << preset << QByteArray() << "/preset";
        QTest::newRow("the user's value wins") << section + "RunningVersionLocation=/mine\n"
                                               << preset << QByteArray() << "/mine";
        QTest::newRow("even an empty one") << section + "RunningVersionLocation=\n"
                                           << preset << QByteArray() << "";
        QTest::newRow("the user has the other value only") << section + "NewVersionLocation=/mine\n"
                                                           << preset << QByteArray() << "/preset";
        QTest::newRow("the first folder wins")
            << QByteArray() << preset << section + "RunningVersionLocation=/second\n"
            << "/preset";
        QTest::newRow("a folder without the file")
            << QByteArray() << QByteArray() << section + "RunningVersionLocation=/second\n"
            << "/second";
        QTest::newRow("a '#' comment in the preset")
            << QByteArray() << section + "# for every user\nRunningVersionLocation=/preset\n"
            << QByteArray() << "/preset";
        // One preset for every user names each one's own path, as %VAR% does on Windows.
        const auto target = [&](const QByteArray& text) {
            return section + "RunningVersionLocation=" + text + "\n";
        };
        const QString home = QDir::homePath();
        QTest::newRow("$HOME") << QByteArray() << target("$HOME/sales/app.accdb") << QByteArray()
                               << home + "/sales/app.accdb";
        QTest::newRow("${VAR}") << QByteArray() << target("${TARSEL_TEST_SHARE}x/app.accdb")
                                << QByteArray() << "/srv/share x/app.accdb";
        QTest::newRow("a leading ~/")
            << QByteArray() << target("~/app.accdb") << QByteArray() << home + "/app.accdb";
        QTest::newRow("a variable not set stays as written")
            << QByteArray() << target("$TARSEL_TEST_UNSET/${TARSEL_TEST_UNSET}/app.accdb")
            << QByteArray() << "$TARSEL_TEST_UNSET/${TARSEL_TEST_UNSET}/app.accdb";
        QTest::newRow("a ~ further on, a lone $ and $1 stay")
            << QByteArray() << target("/srv/~/a$/$1/${}/app.accdb") << QByteArray()
            << "/srv/~/a$/$1/${}/app.accdb";
        QTest::newRow("the user's own text is taken as it is")
            << section + "RunningVersionLocation=$HOME/mine\n"
            << target("$HOME/preset") << QByteArray() << "$HOME/mine";
    }

    void readsThePresetsUnlessTheUserHasAValue() {
        qputenv("TARSEL_TEST_SHARE", "/srv/share ");
        qunsetenv("TARSEL_TEST_UNSET");
        QFETCH(QByteArray, user);
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, second);
        QFETCH(QString, read);
        if (!user.isNull())
            rewriteStore(user);
        if (!first.isNull())
            writeByHand(presetPath("first"), first);
        if (!second.isNull())
            writeByHand(presetPath("second"), second);
        QCOMPARE(stored(Target), text(read));
    }

    // The window stores back every path it restores. A preset must not become the user's own
    // value that way, and the system's file is never written.
    void followsThePresetUntilTheUserChangesIt() {
        const QByteArray preset = "[GeneralControl]\nRunningVersionLocation=/preset\n";
        writeByHand(presetPath("first"), preset);
        store(Target, QStringLiteral("/preset"));
        QVERIFY(!storeContent().contains("RunningVersionLocation"));

        const QByteArray changed = "[GeneralControl]\nRunningVersionLocation=/moved\n";
        writeByHand(presetPath("first"), changed);
        QCOMPARE(stored(Target), text("/moved"));

        store(Target, QStringLiteral("/mine"));
        QCOMPARE(stored(Target), text("/mine"));
        QFile file(presetPath("first"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), changed);
        QCOMPARE(QDir(QFileInfo(presetPath("first")).absolutePath()).entryList(QDir::Files),
                 QStringList{QStringLiteral("TarselCopyFile.ini")});
    }

    void survivesGarbage() {
        QByteArray garbage;
        for (int i = 0; i < 4096; ++i)
            garbage += char((i * 7919 + 13) % 256);
        rewriteStore(garbage);
        QCOMPARE(stored(Target), std::nullopt);
        store(Target, QStringLiteral("/after"));
        rewriteStore(storeContent());
        QCOMPARE(stored(Target), text("/after"));
    }

    void failsSilentlyWhereNothingCanBeStored() {
        const QString blocker = config(QStringLiteral("not-a-folder"));
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        useStoreIn(blocker);
        store(Target, QStringLiteral("/lost"));
        QCOMPARE(stored(Target), std::nullopt);
    }

    // Two running copies write at the same time: every write lands, whole, and the store parses.
    void twoCopiesNeverCorruptTheStore() {
        QList<QProcess*> copies;
        for (const char* name : {"copyA", "copyB"}) {
            auto* copy = new QProcess(this);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("TARSEL_STORE_WRITER"), QString::fromLatin1(name));
            env.insert(QStringLiteral("TARSEL_STORE_FOLDER"), settings->location());
            copy->setProcessEnvironment(env);
            copy->start(QCoreApplication::applicationFilePath(), {QStringLiteral("writerCopy")});
            copies << copy;
        }
        for (QProcess* copy : copies) {
            QVERIFY(copy->waitForFinished(60'000));
            QCOMPARE(copy->exitCode(), 0);
        }
        QSettings store(storePath(), QSettings::IniFormat);
        QCOMPARE(store.status(), QSettings::NoError);
        for (const char* name : {"copyA", "copyB"})
            for (int i = 0; i < 40; ++i) {
                const QString value = QStringLiteral("%1-%2").arg(QLatin1String(name)).arg(i);
                QCOMPARE(stored(value), text(value));
            }
        QCOMPARE(QDir(QFileInfo(storePath()).absolutePath()).entryList(QDir::Files),
                 QStringList{QStringLiteral("TarselCopyFile.ini")});
    }

    // One of the running copies above; does nothing in an ordinary run.
    void writerCopy() {
        const QString name = qEnvironmentVariable("TARSEL_STORE_WRITER");
        if (name.isEmpty())
            QSKIP("runs only as a copy started by twoCopiesNeverCorruptTheStore");
        useStoreIn(qEnvironmentVariable("TARSEL_STORE_FOLDER"));
        for (int i = 0; i < 40; ++i) {
            const QString value = QStringLiteral("%1-%2").arg(name).arg(i);
            store(value, value);
        }
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_SettingsStore.moc"
