#include "core/RunTimeError.h"
#include "filetime/GeneralDate.h"
#include "support/ScopedTimeZone.h"

#include <QLocale>
#include <QtTest>

using namespace tarsel;
using tarsel::test::ScopedTimeZone;

class TestGeneralDate : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::system()); }

    void writesTheLocalesGeneralDate_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<QString>("text");
        const QDateTime missing(QDate(9999, 12, 31), QTime(0, 0));
        const QDateTime early(QDate(2025, 2, 3), QTime(4, 5, 6));
        const QDateTime late(QDate(2025, 11, 23), QTime(21, 0, 0));
        QTest::newRow("C missing") << "C" << missing << "31 Dec 9999";
        QTest::newRow("C") << "C" << early << "3 Feb 2025 04:05:06";
        QTest::newRow("en_US missing") << "en_US" << missing << "12/31/9999";
        QTest::newRow("en_US morning") << "en_US" << early << "2/3/2025 4:05:06 AM";
        QTest::newRow("en_US evening") << "en_US" << late << "11/23/2025 9:00:00 PM";
        QTest::newRow("de_DE missing") << "de_DE" << missing << "31.12.9999";
        QTest::newRow("de_DE") << "de_DE" << early << "03.02.2025 04:05:06";
        QTest::newRow("one second past midnight")
            << "de_DE" << QDateTime(QDate(2025, 2, 3), QTime(0, 0, 1)) << "03.02.2025 00:00:01";
        QTest::newRow("zone first (zh_CN)") << "zh_CN" << early << "2025/2/3 04:05:06";
        QTest::newRow("quoted letters (bg_BG)") << "bg_BG" << early << "3.02.2025 г. 4:05:06 ч.";
    }

    void writesTheLocalesGeneralDate() {
        QFETCH(QString, locale);
        QFETCH(QDateTime, date);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(GeneralDateText(date), text);
    }

    void readsItsOwnTextBack_data() {
        QTest::addColumn<QString>("locale");
        for (const char* name :
             {"C", "en_US", "de_DE", "fr_FR", "ja_JP", "ko_KR", "bg_BG", "sv_SE", "fa_IR", "ar_EG"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void readsItsOwnTextBack() {
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        for (const QDateTime& date : {QDateTime(QDate(9999, 12, 31), QTime(0, 0)),
                                      QDateTime(QDate(1601, 1, 1), QTime(0, 0, 1)),
                                      QDateTime(QDate(2025, 2, 3), QTime(4, 5, 6)),
                                      QDateTime(QDate(2024, 12, 11), QTime(12, 59, 58)),
                                      QDateTime(QDate(2024, 7, 9), QTime(23, 59, 59))}) {
            const QString text = GeneralDateText(date);
            QCOMPARE(CDate(text), date);
            QCOMPARE(CDate(ShortDateText(date.date()) + u' ' + LongTimeText(date.time())), date);
        }
    }

    void refusesOtherTexts_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* tag, const char* locale, const char* text) {
            QTest::newRow(tag) << QString::fromUtf8(locale) << QString::fromUtf8(text);
        };
        row("empty", "en_US", "");
        row("words", "en_US", "yesterday");
        row("month 13", "en_US", "13/1/2025");
        row("31 February", "en_US", "2/31/2025 1:00:00 AM");
        row("hour 25", "de_DE", "03.02.2025 25:00:00");
        row("trailing text", "de_DE", "03.02.2025 04:05:06 Uhr");
        row("year 10000", "en_US", "1/1/10000");
        row("other locale's order", "de_DE", "12/31/9999");
    }

    void refusesOtherTexts() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QLocale::setDefault(QLocale(locale));
        try {
            CDate(text);
            QFAIL("no error raised");
        } catch (const RunTimeError& error) {
            QCOMPARE(error.number(), runTimeNumberOf(ErrorKind::TypeMismatch));
            QCOMPARE(error.description(), QStringLiteral("Type mismatch"));
        }
    }

    // The hour that the clocks skip in spring still reads back with its own fields.
    void readsAWallTimeTheZoneSkips() {
        const ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        const QDateTime skipped = CDate(QStringLiteral("3/30/2025 2:30:00 AM"));
        QVERIFY(skipped.isValid());
        QCOMPARE(skipped.date(), QDate(2025, 3, 30));
        QCOMPARE(skipped.time(), QTime(2, 30));
        QCOMPARE(GeneralDateText(skipped), QStringLiteral("3/30/2025 2:30:00 AM"));
    }
};

QTEST_GUILESS_MAIN(TestGeneralDate)
#include "test_GeneralDate.moc"
