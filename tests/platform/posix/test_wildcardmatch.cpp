#include "platform/posix/WildcardMatch.h"

#include <QtTest>

using namespace tarsel::platform;

class TestWildcardMatch : public QObject {
    Q_OBJECT

private slots:
    void wildcardMatch_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("matches");
        QTest::newRow("*.* any name") << "*.*"
                                      << "front.accdb" << true;
        QTest::newRow("*.* name without extension") << "*.*"
                                                    << "README" << true;
        QTest::newRow("* empty name") << "*"
                                      << "" << true;
        QTest::newRow("exact") << "front.accdb"
                               << "front.accdb" << true;
        QTest::newRow("case counts") << "FRONT.ACCDB"
                                     << "front.accdb" << false;
        QTest::newRow("extension") << "*.accdb"
                                   << "front.accdb" << true;
        QTest::newRow("extension must end") << "*.accdb"
                                            << "front.accdb.bak" << false;
        QTest::newRow("? one character") << "fr?nt.accdb"
                                         << "front.accdb" << true;
        QTest::newRow("? not zero characters") << "front?.accdb"
                                               << "front.accdb" << false;
        QTest::newRow("* in the middle") << "f*t.a*"
                                         << "front.accdb" << true;
        QTest::newRow("backtracking *") << "*a*b"
                                        << "xaxbab" << true;
        QTest::newRow("prefix only") << "front"
                                     << "front.accdb" << false;
        QTest::newRow("dot literal") << "front.*"
                                     << "frontaccdb" << false;
    }

    void wildcardMatch() {
        QFETCH(QString, pattern);
        QFETCH(QString, name);
        QFETCH(bool, matches);
        QCOMPARE(tarsel::platform::wildcardMatch(pattern, name), matches);
    }
};

QTEST_GUILESS_MAIN(TestWildcardMatch)
#include "test_wildcardmatch.moc"
