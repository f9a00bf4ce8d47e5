#include "copy/ReleaseComment.h"
#include "core/RunTimeError.h"
#include "support/ErrorOf.h"

#include <QtTest>

using namespace tarsel;

class TestReleaseComment : public QObject {
    Q_OBJECT

private slots:
    void reads_data() {
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<quint64>("release");
        QTest::newRow("as the tool writes it")
            << QByteArray("timestamp:1765300000 file:sales.accdb release:42") << "sales.accdb"
            << quint64(42);
        QTest::newRow("any order, tabs as minisign separates")
            << QByteArray("release:7\ttimestamp:1765300000\tfile:sales.accdb\thashed")
            << "sales.accdb" << quint64(7);
        QTest::newRow("runs of blanks around")
            << QByteArray("  file:a.mdb   release:1 ") << "a.mdb" << quint64(1);
        QTest::newRow("the largest number") << QByteArray("file:a.mdb release:18446744073709551615")
                                            << "a.mdb" << quint64(18446744073709551615ull);
        QTest::newRow("a blank and a percent sign in the name")
            << QByteArray("file:Sales%20100%25.accdb release:3") << "Sales 100%.accdb"
            << quint64(3);
        QTest::newRow("lower-case hex digits")
            << QByteArray("file:a%2fb release:3") << "a/b" << quint64(3);
        QTest::newRow("UTF-8 as it is")
            << QByteArray("file:") + QStringLiteral("Übersicht.accdb").toUtf8() + " release:5"
            << QStringLiteral("Übersicht.accdb") << quint64(5);
        // minisign's own comment gives a name as it is: a blank ends it, and the run then finds
        // the signature made for another file.
        QTest::newRow("a blank written as it is")
            << QByteArray("file:my sales.accdb release:4") << "my" << quint64(4);
        // Words that only look alike are other words.
        QTest::newRow("other words beginning alike")
            << QByteArray("File:x.mdb files:y file:a.mdb releases:9 release:2") << "a.mdb"
            << quint64(2);
    }

    void reads() {
        QFETCH(QByteArray, comment);
        QFETCH(QString, fileName);
        QFETCH(quint64, release);
        const ReleaseClaim claim = readReleaseComment(comment);
        QCOMPARE(claim.fileName, fileName);
        QCOMPARE(claim.release, release);
    }

    // A signature that claims no single release is refused, never read one way or the other.
    void refuses_data() {
        QTest::addColumn<QByteArray>("comment");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("minisign's own comment")
            << QByteArray("timestamp:1765300000\tfile:sales.accdb\thashed");
        QTest::newRow("no file") << QByteArray("timestamp:1 release:42");
        QTest::newRow("file twice") << QByteArray("file:a.mdb release:4 file:b.mdb");
        QTest::newRow("the same file twice") << QByteArray("file:a.mdb release:4 file:a.mdb");
        QTest::newRow("release twice") << QByteArray("file:a.mdb release:4 release:5");
        QTest::newRow("empty name") << QByteArray("file: release:4");
        QTest::newRow("a percent sign alone") << QByteArray("file:100%.accdb release:4");
        QTest::newRow("a percent sign at the end") << QByteArray("file:a% release:4");
        QTest::newRow("a percent sign and one digit") << QByteArray("file:a%2 release:4");
        QTest::newRow("a NUL") << QByteArray("file:a%00b release:4");
        QTest::newRow("not UTF-8") << QByteArray("file:a%FFb release:4");
        QTest::newRow("release 0") << QByteArray("file:a.mdb release:0");
        QTest::newRow("leading zero") << QByteArray("file:a.mdb release:042");
        QTest::newRow("plus sign") << QByteArray("file:a.mdb release:+42");
        QTest::newRow("minus sign") << QByteArray("file:a.mdb release:-42");
        QTest::newRow("empty number") << QByteArray("file:a.mdb release:");
        QTest::newRow("not a number") << QByteArray("file:a.mdb release:4x");
        QTest::newRow("hex") << QByteArray("file:a.mdb release:0x2a");
        QTest::newRow("past 64 bits") << QByteArray("file:a.mdb release:18446744073709551616");
        QTest::newRow("far past 64 bits")
            << QByteArray("file:a.mdb release:") + QByteArray(400, '9');
    }

    void refuses() {
        QFETCH(QByteArray, comment);
        QCOMPARE(test::errorOf([&] { readReleaseComment(comment); }),
                 runTimeNumberOf(ErrorKind::BadSignatureFile));
    }

    // What is written reads back as the same claim, and stays one word however the name looks.
    void writesWhatReadsBack_data() {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("plain") << "sales.accdb" << QByteArray("file:sales.accdb");
        QTest::newRow("blanks") << " my sales .accdb" << QByteArray("file:%20my%20sales%20.accdb");
        QTest::newRow("percent signs") << "100%25.accdb" << QByteArray("file:100%2525.accdb");
        QTest::newRow("tab, line feed, carriage return")
            << "a\tb\nc\rd" << QByteArray("file:a%09b%0Ac%0Dd");
        QTest::newRow("DEL") << "a\x7f"
                                "b"
                             << QByteArray("file:a%7Fb");
        QTest::newRow("UTF-8") << QStringLiteral("Übersicht é.accdb")
                               << QByteArray("file:") +
                                      QStringLiteral("Übersicht%20é.accdb").toUtf8();
        QTest::newRow("backslash and colon") << "a\\b:c" << QByteArray("file:a\\b:c");
    }

    void writesWhatReadsBack() {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, written);
        const QByteArray comment = releaseComment({fileName, 18446744073709551615ull}, 1765300000);
        QCOMPARE(comment, "timestamp:1765300000 " + written + " release:18446744073709551615");
        QVERIFY(!comment.contains('\n') && !comment.contains('\r'));
        const ReleaseClaim claim = readReleaseComment(comment);
        QCOMPARE(claim.fileName, fileName);
        QCOMPARE(claim.release, 18446744073709551615ull);
    }
};

QTEST_GUILESS_MAIN(TestReleaseComment)
#include "test_releasecomment.moc"
