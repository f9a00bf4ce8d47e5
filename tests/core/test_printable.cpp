#include "core/Printable.h"

#include <QtTest>

using namespace tarsel;

class TestPrintable : public QObject {
    Q_OBJECT

private slots:
    void escapesWhatATerminalWouldObey_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("plain, accents kept")
            << QStringLiteral("MSACCESS.EXE Müller") << QStringLiteral("MSACCESS.EXE Müller");
        QTest::newRow("a Windows path") << "C:\\Front ends\\sales.accdb"
                                        << "C:\\Front ends\\sales.accdb";
        QTest::newRow("title and clear screen") << "\x1b]2;owned\x07\x1b[2J"
                                                << "\\x1b]2;owned\\x07\\x1b[2J";
        QTest::newRow("a forged log line") << "a\tb\nc\rd"
                                           << "a\\x09b\\x0ac\\x0dd";
        QTest::newRow("NUL and DEL") << QString::fromLatin1("a\0b\x7f", 4) << "a\\x00b\\x7f";
        QTest::newRow("C1 control") << QString(QChar(0x9b)) + "2J"
                                    << "\\x9b2J";
        QTest::newRow("right-to-left override") << QString("sales") + QChar(0x202E) + "bdm.exe"
                                                << "sales\\u202ebdm.exe";
        QTest::newRow("isolate") << QString(QChar(0x2066)) + "x"
                                 << "\\u2066x";
    }

    void escapesWhatATerminalWouldObey() {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(printable(text), shown);
    }
};

QTEST_GUILESS_MAIN(TestPrintable)
#include "test_printable.moc"
