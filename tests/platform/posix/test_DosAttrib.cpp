#include "platform/posix/DosAttrib.h"

#include <QRandomGenerator>
#include <QtTest>

using tarsel::platform::decodeDosAttrib;
using tarsel::platform::encodeDosAttrib;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

// Blobs as Samba versions write them: attribute string, version, level, record.
const char* const V5 = "0000 0500 0500 0000 11000000 20000000 d7c6b5a4c3f2d901";
const char* const V4 = "0000 0400 0400 0000 11000000 20000000 1111111111111111 d7c6b5a4c3f2d901";
const char* const V3Empty = "0000 0300 0300 0000 11000000 20000000 00000000 2222222222222222"
                            " 3333333333333333 d7c6b5a4c3f2d901 4444444444444444";
const char* const V3Prefixed = "3078323000 00 0300 0300 0000 11000000 20000000 00000000"
                               " 2222222222222222 3333333333333333 d7c6b5a4c3f2d901"
                               " 4444444444444444";
constexpr quint64 CreateTime = 0x01D9F2C3A4B5C6D7;

} // namespace

class TestDosAttrib : public QObject {
    Q_OBJECT

private slots:
    void encodesVersion5() {
        QCOMPARE(encodeDosAttrib(0x21, CreateTime),
                 hex("0000 0500 0500 0000 11000000 21000000 d7c6b5a4c3f2d901"));
        QCOMPARE(encodeDosAttrib(0x20, CreateTime), hex(V5));
    }

    void decodes_data() {
        QTest::addColumn<QByteArray>("blob");
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<quint64>("createTime"); // 0: none

        QTest::newRow("v5") << hex(V5) << 0x20u << CreateTime;
        QTest::newRow("v5 read-only hidden") << encodeDosAttrib(0x23, 42) << 0x23u << quint64(42);
        QTest::newRow("v5 attributes only")
            << hex("0000 0500 0500 0000 01000000 20000000 d7c6b5a4c3f2d901") << 0x20u << quint64(0);
        QTest::newRow("v5 zero create time")
            << hex("0000 0500 0500 0000 11000000 20000000 0000000000000000") << 0x20u << quint64(0);
        QTest::newRow("v5 trailing bytes")
            << hex(V5) + QByteArray(8, '\x7f') << 0x20u << CreateTime;
        QTest::newRow("v4 beside itime") << hex(V4) << 0x20u << CreateTime;
        QTest::newRow("v3") << hex(V3Empty) << 0x20u << CreateTime;
        QTest::newRow("v3 after 0x20") << hex(V3Prefixed) << 0x20u << CreateTime;
        QTest::newRow("legacy") << QByteArray("0x21", 5) << 0x21u << quint64(0);
        QTest::newRow("legacy without NUL") << QByteArray("0x8") << 0x8u << quint64(0);
        QTest::newRow("legacy eight digits")
            << QByteArray("0xFFFFFFFF", 11) << 0xFFFFFFFFu << quint64(0);
    }

    void decodes() {
        QFETCH(QByteArray, blob);
        QFETCH(quint32, attributes);
        QFETCH(quint64, createTime);
        const auto decoded = decodeDosAttrib(blob);
        QVERIFY(decoded);
        QCOMPARE(decoded->attributes, attributes);
        QCOMPARE(decoded->createTime.value_or(0), createTime);
    }

    void rejectsMalformed_data() {
        QTest::addColumn<QByteArray>("blob");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("NUL alone") << QByteArray(1, '\0');
        QTest::newRow("0x alone") << QByteArray("0x", 3);
        QTest::newRow("not hex") << QByteArray("0xZZ", 5);
        QTest::newRow("nine digits") << QByteArray("0x123456789", 12);
        QTest::newRow("no 0x") << QByteArray("20", 3);
        QTest::newRow("text") << QByteArray("hello");
        QTest::newRow("version 2") << hex("0000 0200 0200 0000 11000000 20000000 d7c6b5a4c3f2d901");
        QTest::newRow("version 6") << hex("0000 0600 0600 0000 11000000 20000000 d7c6b5a4c3f2d901");
        QTest::newRow("compat level")
            << hex("0000 ffff ffff 0000 11000000 20000000 0000000000000000");
        QTest::newRow("level differs")
            << hex("0000 0500 0400 0000 11000000 20000000 d7c6b5a4c3f2d901");
        QTest::newRow("attributes not valid")
            << hex("0000 0500 0500 0000 10000000 20000000 d7c6b5a4c3f2d901");
        QTest::newRow("v5 layout labelled v3") << hex(V5).replace(2, 4, hex("0300 0300"));
        QTest::newRow("all ones") << QByteArray(64, '\xff');
    }

    void rejectsMalformed() {
        QFETCH(QByteArray, blob);
        QVERIFY(!decodeDosAttrib(blob));
    }

    void rejectsEveryTruncation() {
        for (const char* full : {V5, V4, V3Empty}) {
            const QByteArray blob = hex(full);
            for (qsizetype length = 0; length < blob.size(); ++length)
                QVERIFY2(!decodeDosAttrib(blob.left(length)),
                         qPrintable(QStringLiteral("%1 of %2").arg(length).arg(blob.size())));
        }
    }

    // Damaged blobs never yield a create time of 0 or one read from past the end.
    void survivesDamage() {
        QRandomGenerator random(20240506);
        const QByteArray sources[] = {hex(V5), hex(V4), hex(V3Empty), hex(V3Prefixed)};
        for (int round = 0; round < 20000; ++round) {
            QByteArray blob = sources[round % 4].left(random.bounded(60));
            for (int flips = random.bounded(4); flips > 0 && !blob.isEmpty(); --flips)
                blob[random.bounded(int(blob.size()))] = char(random.bounded(256));
            const auto decoded = decodeDosAttrib(blob);
            if (decoded && decoded->createTime) {
                QVERIFY(*decoded->createTime != 0);
                QVERIFY(blob.size() >= 24);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDosAttrib)
#include "test_DosAttrib.moc"
