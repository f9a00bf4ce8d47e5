#include "copy/Pause.h"
#include "core/Clock.h"
#include "support/FakeCopyHost.h"

#include <QtTest>

using namespace tarsel;
using tarsel::test::FakeCopyHost;

class TestPause : public QObject {
    Q_OBJECT

private slots:
    void returnsAtOnce_data() {
        QTest::addColumn<QString>("seconds");
        QTest::newRow("zero") << "0";
        QTest::newRow("empty") << "";
        QTest::newRow("not a number") << "abc";
        QTest::newRow("negative") << "-1";
    }

    void returnsAtOnce() {
        QFETCH(QString, seconds);
        FakeCopyHost host;
        Pause(seconds, host);
        QCOMPARE(host.yields, 0);
    }

    void waitsWhileYielding_data() {
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<qint64>("waitMs");
        QTest::newRow("fraction") << "0.2" << qint64(200);
        QTest::newRow("number with blanks and text after it") << " 0.15 s" << qint64(150);
    }

    void waitsWhileYielding() {
        QFETCH(QString, seconds);
        QFETCH(qint64, waitMs);
        FakeCopyHost host;
        const qint64 start = monotonicMs();
        Pause(seconds, host);
        QVERIFY(monotonicMs() - start >= waitMs);
        QVERIFY2(host.yields >= 3, qPrintable(QString::number(host.yields)));
    }
};

QTEST_GUILESS_MAIN(TestPause)
#include "test_pause.moc"
