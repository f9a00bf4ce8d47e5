#include "settings/Module1.h"
#include "support/TestHost.h"
#include "support/WindowSettings.h"

#include <QtTest>

#include <memory>

using namespace tarsel;
using test::Source;
using test::store;
using test::stored;
using test::Target;
using test::text;

// The two registry routines on the store of the system they run on; how each system lays the
// store out is tested with its own code (tests/platform/<os>/).
class TestModule1 : public QObject {
    Q_OBJECT

    std::unique_ptr<test::IsolatedSettings> settings;

private slots:
    void init() { settings = std::make_unique<test::IsolatedSettings>(); }
    void cleanup() { settings.reset(); }

    void readsNothingWithoutAStore() {
        QCOMPARE(stored(Target), std::nullopt);
        QCOMPARE(stored(Source), std::nullopt);
        store(Target, QStringLiteral("/srv/app.accdb"));
        QCOMPARE(stored(Source), std::nullopt);
        QCOMPARE(stored(Target), text("/srv/app.accdb"));
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
};

QTEST_GUILESS_MAIN(TestModule1)
#include "test_Module1.moc"
