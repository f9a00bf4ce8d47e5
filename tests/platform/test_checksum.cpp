#include "platform/Checksum.h"

#include <QCryptographicHash>
#include <QtTest>

#include <cstdlib>
#include <memory>

using namespace tarsel::platform;

namespace {

QByteArray digestOf(const QByteArray& bytes) {
    Sha256 sha;
    sha.add(bytes.constData(), bytes.size());
    return sha.finish().toHex();
}

// Bytes that differ from one block of the digest to the next.
QByteArray varied(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(i * 31 + i / 64);
    return bytes;
}

struct FreeBytes {
    void operator()(char* bytes) const { std::free(bytes); }
};

} // namespace

class TestChecksum : public QObject {
    Q_OBJECT

private slots:
    // The vectors published with the algorithm.
    void knownDigests_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("empty") << QByteArray()
                               << QByteArray("e3b0c44298fc1c149afbf4c8996fb924"
                                             "27ae41e4649b934ca495991b7852b855");
        QTest::newRow("abc") << QByteArray("abc")
                             << QByteArray("ba7816bf8f01cfea414140de5dae2223"
                                           "b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("448 bits")
            << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
            << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
        QTest::newRow("896 bits")
            << QByteArray("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                          "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")
            << QByteArray("cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
        QTest::newRow("one million a")
            << QByteArray(1000000, 'a')
            << QByteArray("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    }

    void knownDigests() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, digest);
        QCOMPARE(digestOf(input), digest);
    }

    // The digest is the same however the input is cut into add() calls, around the 64-byte
    // blocks of the algorithm above all; Qt's own implementation says what it must be.
    void splitDoesNotMatter_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QList<qsizetype>>("pieces"); // repeated until the input ends
        QTest::newRow("one call") << qsizetype(100000) << QList<qsizetype>{100000};
        QTest::newRow("a byte at a time") << qsizetype(1000) << QList<qsizetype>{1};
        QTest::newRow("63 bytes") << qsizetype(1000) << QList<qsizetype>{63};
        QTest::newRow("64 bytes") << qsizetype(1024) << QList<qsizetype>{64};
        QTest::newRow("65 bytes") << qsizetype(1000) << QList<qsizetype>{65};
        QTest::newRow("empty calls between") << qsizetype(1000) << QList<qsizetype>{0, 63, 0, 2};
        QTest::newRow("1, 63, 64, 65 and a large one")
            << qsizetype(300000) << QList<qsizetype>{1, 63, 64, 65, 200000};
        QTest::newRow("55 and 56: where the length no longer fits the last block")
            << qsizetype(111) << QList<qsizetype>{55, 56};
    }

    void splitDoesNotMatter() {
        QFETCH(qsizetype, size);
        QFETCH(QList<qsizetype>, pieces);
        const QByteArray input = varied(size);
        Sha256 sha;
        for (qsizetype done = 0, i = 0; done < size; ++i) {
            const qsizetype piece = std::min(pieces[i % pieces.size()], size - done);
            sha.add(input.constData() + done, piece);
            done += piece;
        }
        QCOMPARE(sha.finish().toHex(),
                 QCryptographicHash::hash(input, QCryptographicHash::Sha256).toHex());
    }

    // finish() starts afresh: nothing of the last input reaches the next digest.
    void startsAfreshAfterFinish() {
        Sha256 sha;
        sha.add("abc", 3);
        QCOMPARE(sha.finish().toHex(), digestOf("abc"));
        QCOMPARE(sha.finish().toHex(), digestOf(""));
        sha.add("ab", 2);
        sha.add("c", 1);
        QCOMPARE(sha.finish().toHex(), digestOf("abc"));
    }

    // More than a system call takes at once (Windows: a ULONG). calloc'd memory of this size is
    // fresh zero pages that cost nothing until written.
    void takesMoreThan4GiBInOneCall() {
        constexpr qint64 Size = (qint64(1) << 32) + 1;
        const std::unique_ptr<char, FreeBytes> zeros(static_cast<char*>(std::calloc(Size, 1)));
        if (!zeros)
            QSKIP("no room for 4 GiB of address space");
        Sha256 sha;
        sha.add(zeros.get(), Size);
        QCOMPARE(sha.finish().toHex(),
                 QByteArray("fbb82f7b353676bb562eb82157fcf0ea42c36492ca13ee56dbf82c08b6802c5c"));
    }
};

QTEST_GUILESS_MAIN(TestChecksum)
#include "test_checksum.moc"
