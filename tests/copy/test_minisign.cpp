#include "copy/Minisign.h"
#include "copy/ReleaseComment.h"
#include "core/RunTimeError.h"
#include "support/ErrorOf.h"
#include "support/FileFixtures.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <QtTest>

#include <optional>

using namespace tarsel;
using namespace tarsel::minisign;
using namespace tarsel::test;

namespace {

// The fixtures' keys: made by minisign -G (tests/copy/minisign/make-fixtures.sh).
const QByteArray Password = "correct horse battery staple";
const QByteArray Comment = "timestamp:1765300000 file:sales.accdb release:42";

QByteArray fixture(const QString& name) {
    QFile file(QStringLiteral(":/minisign/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture %s is missing", qPrintable(name));
    return file.readAll();
}

QByteArray crlf(QByteArray text) {
    return text.replace("\n", "\r\n");
}

QList<QByteArray> linesOf(const QByteArray& file) {
    QList<QByteArray> lines = file.split('\n');
    if (lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

QByteArray joined(const QList<QByteArray>& lines) {
    return lines.join('\n') + '\n';
}

QByteArray withLine(const QByteArray& file, int index, const QByteArray& line) {
    QList<QByteArray> lines = linesOf(file);
    lines[index] = line;
    return joined(lines);
}

QByteArray decodedLine(const QByteArray& file, int index) {
    return QByteArray::fromBase64(linesOf(file)[index]);
}

// The id minisign wrote into a public key file's comment ("minisign public key 9A0B...").
QString idInComment(const QByteArray& publicKeyFile) {
    return QString::fromLatin1(linesOf(publicKeyFile)[0].split(' ').last());
}

QByteArray keyIdBytes(KeyId id) {
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(id, bytes.data());
    return bytes;
}

// A public key's line, as minisign -P takes it.
QByteArray keyLine(const PublicKey& key) {
    return ("Ed" + keyIdBytes(key.id) + key.key).toBase64();
}

// A signature file of any content, signed or not.
QByteArray signatureFile(const QByteArray& algorithm, KeyId id, const QByteArray& signature,
                         const QByteArray& trustedComment, const QByteArray& global) {
    return "untrusted comment: made by the test\n" +
           (algorithm + keyIdBytes(id) + signature).toBase64() +
           "\ntrusted comment: " + trustedComment + '\n' + global.toBase64() + '\n';
}

// A properly signed file in either form, whatever its trusted comment, for what sign() refuses
// to write.
QByteArray signedFile(const SecretKey& key, const QByteArray& message, Algorithm algorithm,
                      const QByteArray& trustedComment) {
    const QByteArray signature =
        crypto::sign(key.seed(), key.publicKey().key,
                     algorithm == Algorithm::Prehashed ? crypto::blake2b(message, 64) : message);
    const QByteArray global =
        crypto::sign(key.seed(), key.publicKey().key, signature + trustedComment);
    return signatureFile(algorithm == Algorithm::Prehashed ? "ED" : "Ed", key.id(), signature,
                         trustedComment, global);
}

QByteArray flippedByte(QByteArray bytes, qsizetype at) {
    bytes[at] = char(bytes[at] ^ 0x01);
    return bytes;
}

const SecretKey& unprotectedKey() {
    static const SecretKey key = SecretKey::read(fixture("unprotected.key"), {});
    return key;
}

// Read once: opening it costs what minisign's scrypt costs (1 GiB, seconds).
const SecretKey& protectedKey() {
    static const SecretKey key = SecretKey::read(crlf(fixture("protected.key")), Password);
    return key;
}

PublicKey publicKey(const QString& name) {
    return readPublicKey(fixture(name + QStringLiteral(".pub")));
}

// Debian's minisign, where this system can start it.
struct MinisignProgram {
    QString path;
    QString missing; // why not, when it cannot
};

MinisignProgram minisignProgram() {
    if (!wineVersion().isEmpty())
        return {QString(), QStringLiteral("Wine starts a Linux program such as minisign, but "
                                          "without the pipes it is given, a handle to wait on or "
                                          "an exit code")};
    const QString path = QStandardPaths::findExecutable(QStringLiteral("minisign"));
    if (path.isEmpty())
        return {QString(), QStringLiteral("no minisign on this system")};
    QProcess probe;
    probe.start(path, {QStringLiteral("-v")});
    if (!probe.waitForFinished(30'000) || !probe.readAll().startsWith("minisign 0.11"))
        return {QString(), QStringLiteral("%1 is no minisign 0.11").arg(path)};
    return {path, QString()};
}

struct Outcome {
    int exitCode = -1;
    QByteArray output;
};

Outcome runMinisign(const QString& program, const QStringList& arguments,
                    const QByteArray& input = QByteArray()) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120'000) || process.exitStatus() != QProcess::NormalExit)
        return {-1, "did not finish"};
    return {process.exitCode(), process.readAll()};
}

} // namespace

Q_DECLARE_METATYPE(Algorithm)
Q_DECLARE_METATYPE(PublicKey)
Q_DECLARE_METATYPE(ErrorKind)

class TestMinisign : public QObject, InTempFolder {
    Q_OBJECT

    MinisignProgram minisign;

    // Whether `minisign -V` takes `signature` of `message` with each of `keys`; empty when it
    // does, else what it said.
    QString minisignRefusal(const QByteArray& message, const QByteArray& signature,
                            const QList<PublicKey>& keys) {
        const QString messagePath = path(QStringLiteral("message"));
        const QString signaturePath = path(QStringLiteral("message.minisig"));
        if (!writeFile(messagePath, message) || !writeFile(signaturePath, signature))
            return QStringLiteral("cannot write the files");
        for (const PublicKey& key : keys) {
            const Outcome check = runMinisign(
                minisign.path, {QStringLiteral("-V"), QStringLiteral("-q"), QStringLiteral("-m"),
                                messagePath, QStringLiteral("-x"), signaturePath,
                                QStringLiteral("-P"), QString::fromLatin1(keyLine(key))});
            // -q leaves the exit code alone to tell a refusal.
            if (check.exitCode != 0)
                return QStringLiteral("exit %1 %2")
                    .arg(check.exitCode)
                    .arg(QString::fromLocal8Bit(check.output).trimmed());
        }
        return QString();
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        minisign = minisignProgram();
    }

    void readsPublicKeys_data() {
        QTest::addColumn<QByteArray>("text");
        const QByteArray file = fixture("unprotected.pub");
        QTest::newRow("the base64 line") << linesOf(file)[1];
        QTest::newRow("the line, with blanks and a line end") << "  " + linesOf(file)[1] + " \r\n";
        QTest::newRow("the file minisign -G writes") << file;
        QTest::newRow("the file with CRLF line ends") << crlf(file);
        QTest::newRow("the file without its last line end") << file.chopped(1);
    }

    // The id is the one minisign wrote beside the key, in the form minisign prints it.
    void readsPublicKeys() {
        QFETCH(QByteArray, text);
        const PublicKey key = readPublicKey(text);
        QCOMPARE(keyIdText(key.id), idInComment(fixture("unprotected.pub")));
        QCOMPARE(keyLine(key), linesOf(fixture("unprotected.pub"))[1]);
    }

    void refusesWhatIsNoPublicKey_data() {
        QTest::addColumn<QByteArray>("text");
        const QByteArray file = fixture("unprotected.pub");
        const QByteArray line = linesOf(file)[1];
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank lines") << QByteArray("\n \n");
        QTest::newRow("garbage") << patternBytes(60);
        QTest::newRow("cut short") << line.chopped(4);
        QTest::newRow("one character more") << line + 'A';
        QTest::newRow("not base64") << QByteArray(line).replace(10, 1, "*");
        QTest::newRow("the comment alone") << linesOf(file)[0] + '\n';
        QTest::newRow("a comment that is not minisign's")
            << withLine(file, 0, "comment: minisign public key");
        QTest::newRow("two keys") << line + '\n' + linesOf(fixture("other.pub"))[1] + '\n';
        QTest::newRow("another algorithm") << ("EC" + decodedLine(file, 1).sliced(2)).toBase64();
        QTest::newRow("a secret key file") << fixture("unprotected.key");
    }

    void refusesWhatIsNoPublicKey() {
        QFETCH(QByteArray, text);
        QCOMPARE(errorOf([&] { readPublicKey(text); }), runTimeNumberOf(ErrorKind::BadKey));
    }

    void verifiesWhatMinisignSigned_data() {
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("trusted");
        QTest::addColumn<QString>("signer");
        QTest::addColumn<Algorithm>("algorithm");
        const QByteArray prehashed = fixture("sales.accdb.sha256.minisig");
        const QByteArray checksum = fixture("sales.accdb.sha256");
        const QStringList unprotected{QStringLiteral("unprotected")};
        QTest::newRow("prehashed")
            << prehashed << checksum << unprotected << "unprotected" << Algorithm::Prehashed;
        QTest::newRow("legacy") << fixture("legacy.minisig") << checksum << unprotected
                                << "unprotected" << Algorithm::Legacy;
        QTest::newRow("legacy, of 32 KiB")
            << fixture("long.sha256.minisig") << fixture("long.sha256") << unprotected
            << "unprotected" << Algorithm::Legacy;
        QTest::newRow("by a password-protected key")
            << fixture("protected.minisig") << checksum << QStringList{"protected"} << "protected"
            << Algorithm::Prehashed;
        QTest::newRow("minisign's own trusted comment")
            << fixture("default-comment.minisig") << checksum << unprotected << "unprotected"
            << Algorithm::Prehashed;
        QTest::newRow("CRLF line ends")
            << crlf(prehashed) << checksum << unprotected << "unprotected" << Algorithm::Prehashed;
        QTest::newRow("without its last line end")
            << prehashed.chopped(1) << checksum << unprotected << "unprotected"
            << Algorithm::Prehashed;
        QTest::newRow("lines after the signature, as minisign ignores them")
            << prehashed + "anything\n"
            << checksum << unprotected << "unprotected" << Algorithm::Prehashed;
        QTest::newRow("the second of two trusted keys")
            << prehashed << checksum << QStringList{"other", "unprotected"} << "unprotected"
            << Algorithm::Prehashed;
        QTest::newRow("the first of two trusted keys")
            << fixture("protected.minisig") << checksum << QStringList{"protected", "unprotected"}
            << "protected" << Algorithm::Prehashed;
    }

    void verifiesWhatMinisignSigned() {
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, message);
        QFETCH(QStringList, trusted);
        QFETCH(QString, signer);
        QFETCH(Algorithm, algorithm);
        QList<PublicKey> keys;
        for (const QString& name : trusted)
            keys.append(publicKey(name));
        const Signature read = readSignature(signature);
        QCOMPARE(read.algorithm, algorithm);
        QCOMPARE(read.trustedComment, linesOf(signature)[2].sliced(17).replace("\r", ""));
        const PublicKey by = verify(message, read, keys);
        QCOMPARE(keyIdText(by.id), idInComment(fixture(signer + QStringLiteral(".pub"))));
        QCOMPARE(by.key, publicKey(signer).key);
    }

    // Each way a signature can fail is refused with its own kind, and minisign refuses it too.
    void refuses_data() {
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QList<PublicKey>>("trusted");
        QTest::addColumn<ErrorKind>("kind");
        QTest::addColumn<QString>("text"); // a part of the description

        const QByteArray good = fixture("sales.accdb.sha256.minisig");
        const QByteArray message = fixture("sales.accdb.sha256");
        const QList<PublicKey> trusted{publicKey("unprotected")};
        const KeyId id = trusted[0].id;
        const QByteArray signature = decodedLine(good, 1).sliced(10);
        const QByteArray global = decodedLine(good, 3);
        const auto row = [&](const char* name, const QByteArray& file, ErrorKind kind,
                             const QString& text = QString()) {
            QTest::newRow(name) << file << message << trusted << kind << text;
        };
        const ErrorKind bad = ErrorKind::BadSignatureFile;

        row("empty", QByteArray(), bad, "Empty");
        row("garbage", patternBytes(310), bad);
        row("garbage lines", "a\nb\nc\nd\n", bad);
        for (const qsizetype cut : {20, 60, 140, 170, 200, 250})
            row(qPrintable(QStringLiteral("cut after %1 bytes").arg(cut)), good.first(cut), bad);
        row("cut in the global signature", good.chopped(10), bad);
        row("no untrusted comment", joined(linesOf(good).sliced(1)), bad);
        row("a first line that is no untrusted comment", withLine(good, 0, "comment: x"), bad);
        row("a third line that is no trusted comment", withLine(good, 2, "comment: x"), bad);
        row("a signature line without padding", withLine(good, 1, linesOf(good)[1].chopped(1)),
            bad);
        row("a global signature without padding", withLine(good, 3, linesOf(good)[3].chopped(2)),
            bad);
        row("a blank after the signature", withLine(good, 1, linesOf(good)[1] + ' '), bad);
        row("another algorithm", signatureFile("EC", id, signature, Comment, global), bad,
            "algorithm");
        row("a NUL in the trusted comment",
            withLine(good, 2, QByteArray("trusted comment: a\0b", 20)), bad);
        row("a longer untrusted comment than minisign reads",
            withLine(good, 0, "untrusted comment: " + QByteArray(1004, 'c')), bad);

        const KeyId otherId = id ^ 0x0100;
        row("the key id of another key", signatureFile("ED", otherId, signature, Comment, global),
            ErrorKind::KeyNotTrusted, keyIdText(otherId));
        QTest::newRow("signed by a key that is not trusted")
            << good << message << QList<PublicKey>{publicKey("other"), publicKey("protected")}
            << ErrorKind::KeyNotTrusted << keyIdText(id);
        QTest::newRow("no trusted key")
            << good << message << QList<PublicKey>() << ErrorKind::KeyNotTrusted << keyIdText(id);

        const ErrorKind differs = ErrorKind::SignatureDiffers;
        row("an altered trusted comment",
            withLine(good, 2, "trusted comment: " + QByteArray(Comment).replace("42", "43")),
            differs, "trusted comment");
        row("a trusted comment with a blank added", withLine(good, 2, linesOf(good)[2] + ' '),
            differs, "trusted comment");
        row("an altered global signature",
            signatureFile("ED", id, signature, Comment, flippedByte(global, 5)), differs,
            "trusted comment");
        row("an altered signature",
            signatureFile("ED", id, flippedByte(signature, 40), Comment, global), differs,
            "does not match");
        row("a prehashed signature called legacy",
            signatureFile("Ed", id, signature, Comment, global), differs, "does not match");
        QTest::newRow("an altered message (prehashed)")
            << good << QByteArray(message).replace("ba78", "ba79") << trusted << differs
            << "does not match";
        QTest::newRow("an altered message (legacy)") << fixture("legacy.minisig") << message + '\n'
                                                     << trusted << differs << "does not match";

        PublicKey damaged = trusted[0];
        damaged.key = QByteArray(crypto::PublicKeySize, '\0');
        QTest::newRow("a trusted key that is damaged")
            << good << message << QList<PublicKey>{damaged} << ErrorKind::BadKey << keyIdText(id);
    }

    void refuses() {
        QFETCH(QByteArray, signature);
        QFETCH(QByteArray, message);
        QFETCH(QList<PublicKey>, trusted);
        QFETCH(ErrorKind, kind);
        QFETCH(QString, text);
        try {
            const PublicKey by = verify(message, readSignature(signature), trusted);
            QFAIL(qPrintable(QStringLiteral("taken as signed by %1").arg(keyIdText(by.id))));
        } catch (const RunTimeError& e) {
            QCOMPARE(e.kind(), kind);
            QVERIFY2(e.description().contains(text), qPrintable(e.description()));
        }
        if (!minisign.missing.isEmpty() || trusted.isEmpty())
            return;
        QVERIFY2(!minisignRefusal(message, signature, trusted).isEmpty(), "minisign takes it");
    }

    // A signature or key made up by a caller, with fields of other sizes than a file gives, is
    // refused before the cryptography would read past them.
    void refusesFieldsOfOtherSizes() {
        const QByteArray message = fixture("sales.accdb.sha256");
        const Signature good = readSignature(fixture("sales.accdb.sha256.minisig"));
        const PublicKey key = publicKey("unprotected");
        const auto kindOf = [&](const Signature& signature, const PublicKey& trusted) {
            try {
                verify(message, signature, {trusted});
            } catch (const RunTimeError& e) {
                return e.kind();
            }
            return ErrorKind::System;
        };
        Signature shortSignature = good;
        shortSignature.signature.chop(1);
        QCOMPARE(kindOf(shortSignature, key), ErrorKind::BadSignatureFile);
        Signature shortGlobal = good;
        shortGlobal.globalSignature.truncate(8);
        QCOMPARE(kindOf(shortGlobal, key), ErrorKind::BadSignatureFile);
        PublicKey shortKey = key;
        shortKey.key.chop(1);
        QCOMPARE(kindOf(good, shortKey), ErrorKind::BadKey);
    }

    // The legacy form signs the message whole: messages well past 64 KiB verify in it, and
    // minisign agrees; an altered last byte is still found.
    void verifiesLargeLegacyMessages_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::newRow("one byte over 32 KiB") << qsizetype(32 * 1024 + 1);
        QTest::newRow("70,000 bytes") << qsizetype(70'000);
        QTest::newRow("100,000 bytes") << qsizetype(100'000);
    }

    void verifiesLargeLegacyMessages() {
        QFETCH(qsizetype, size);
        const QByteArray message = patternBytes(size);
        const QByteArray file = signedFile(unprotectedKey(), message, Algorithm::Legacy, Comment);
        const QList<PublicKey> trusted{unprotectedKey().publicKey()};
        QCOMPARE(verify(message, readSignature(file), trusted).id, unprotectedKey().id());
        QCOMPARE(
            errorOf([&] { verify(flippedByte(message, size - 1), readSignature(file), trusted); }),
            runTimeNumberOf(ErrorKind::SignatureDiffers));
        // The prehashed form of the same message.
        const QByteArray signature = sign(message, unprotectedKey(), Comment);
        QCOMPARE(verify(message, readSignature(signature), trusted).id, unprotectedKey().id());
        if (!minisign.missing.isEmpty())
            return;
        QCOMPARE(minisignRefusal(message, file, trusted), QString());
    }

    // Where minisign and this reader draw the line for a trusted comment: the longest it reads
    // is taken, one byte more is refused by both.
    void trustedCommentLimit_data() {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<bool>("taken");
        QTest::newRow("the longest") << MaxTrustedCommentSize << true;
        QTest::newRow("one byte more") << MaxTrustedCommentSize + 1 << false;
    }

    void trustedCommentLimit() {
        QFETCH(qsizetype, size);
        QFETCH(bool, taken);
        const QByteArray message = fixture("sales.accdb.sha256");
        const QByteArray file =
            signedFile(unprotectedKey(), message, Algorithm::Prehashed, QByteArray(size, 'c'));
        const QList<PublicKey> trusted{unprotectedKey().publicKey()};
        bool read = true;
        try {
            verify(message, readSignature(file), trusted);
        } catch (const RunTimeError& e) {
            QCOMPARE(e.kind(), ErrorKind::BadSignatureFile);
            read = false;
        }
        QCOMPARE(read, taken);
        if (!minisign.missing.isEmpty())
            QSKIP(qPrintable(minisign.missing));
        QCOMPARE(minisignRefusal(message, file, trusted).isEmpty(), taken);
    }

    void readsSecretKeys_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("crlf");
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("unprotected (minisign -G -W)") << "unprotected" << false << false;
        QTest::newRow("unprotected, CRLF") << "unprotected" << true << false;
        QTest::newRow("protected by a password, CRLF") << "protected" << true << true;
    }

    void readsSecretKeys() {
        QFETCH(QString, name);
        QFETCH(bool, crlf);
        QFETCH(bool, encrypted);
        QByteArray file = fixture(name + QStringLiteral(".key"));
        if (crlf)
            file = ::crlf(file);
        QCOMPARE(SecretKey::isEncrypted(file), encrypted);
        std::optional<SecretKey> unprotected;
        if (!encrypted)
            unprotected.emplace(SecretKey::read(file, {}));
        const SecretKey& key = encrypted ? protectedKey() : *unprotected;
        QCOMPARE(keyIdText(key.id()), idInComment(fixture(name + QStringLiteral(".pub"))));
        QCOMPARE(key.publicKey().key, publicKey(name).key);
    }

    void refusesSecretKeys_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<ErrorKind>("kind");
        const QByteArray unprotected = fixture("unprotected.key");
        const QByteArray protectedFile = fixture("protected.key");
        const QByteArray raw = decodedLine(unprotected, 1);
        const QByteArray rawProtected = decodedLine(protectedFile, 1);
        const auto rewritten = [](const QByteArray& file, const QByteArray& key) {
            return withLine(file, 1, key.toBase64());
        };
        const ErrorKind bad = ErrorKind::BadKey;
        QTest::newRow("empty") << QByteArray() << QByteArray() << bad;
        QTest::newRow("garbage") << patternBytes(262) << QByteArray() << bad;
        QTest::newRow("cut short") << unprotected.first(150) << QByteArray() << bad;
        QTest::newRow("a public key file") << fixture("unprotected.pub") << QByteArray() << bad;
        QTest::newRow("another algorithm")
            << rewritten(unprotected, "EC" + raw.sliced(2)) << QByteArray() << bad;
        QTest::newRow("another key derivation")
            << rewritten(protectedFile, rawProtected.first(2) + "Ar" + rawProtected.sliced(4))
            << Password << bad;
        // Damaged where minisign -W leaves no checksum: its public half shows it.
        QTest::newRow("unprotected, its secret damaged")
            << rewritten(unprotected, flippedByte(raw, 54 + 8 + 3)) << QByteArray() << bad;
        QTest::newRow("unprotected, its checksum damaged")
            << rewritten(unprotected, flippedByte(raw, 157)) << QByteArray() << bad;
        // Refused before any scrypt: 2 GiB, and 2^24 work.
        QByteArray greedy = rawProtected;
        qToLittleEndian<quint64>(quint64(1) << 31, greedy.data() + 46);
        qToLittleEndian<quint64>(quint64(1) << 26, greedy.data() + 38);
        QTest::newRow("asking for 2 GiB of scrypt memory")
            << rewritten(protectedFile, greedy) << Password << bad;
        qToLittleEndian<quint64>(quint64(1) << 30, greedy.data() + 46);
        qToLittleEndian<quint64>(quint64(1) << 40, greedy.data() + 38);
        QTest::newRow("asking for hours of scrypt work")
            << rewritten(protectedFile, greedy) << Password << bad;
        QTest::newRow("protected, the wrong password")
            << protectedFile << QByteArray("correct horse battery stapl")
            << ErrorKind::WrongPassword;
    }

    void refusesSecretKeys() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, password);
        QFETCH(ErrorKind, kind);
        QCOMPARE(errorOf([&] { SecretKey::read(file, password); }), runTimeNumberOf(kind));
    }

    // libsodium's own answers (its crypto_pwhash_scryptsalsa208sha256 against scrypt of these
    // N, r = 8 and p): minisign's keys (sensitive), libsodium's interactive limits, and limits
    // that take the other ways through.
    void scryptCost_data() {
        QTest::addColumn<quint64>("opslimit");
        QTest::addColumn<quint64>("memlimit");
        QTest::addColumn<int>("nLog2");
        QTest::addColumn<quint64>("p");
        QTest::newRow("minisign -G")
            << quint64(33554432) << quint64(1073741824) << 20 << quint64(1);
        QTest::newRow("interactive") << quint64(524288) << quint64(16777216) << 14 << quint64(1);
        QTest::newRow("work beyond memory")
            << quint64(33554432) << quint64(16777216) << 14 << quint64(64);
        QTest::newRow("equal limits") << quint64(4194304) << quint64(4194304) << 12 << quint64(32);
        QTest::newRow("memory beyond work")
            << quint64(1048576) << quint64(1073741824) << 15 << quint64(1);
        QTest::newRow("work below the least")
            << quint64(1000) << quint64(1048576) << 10 << quint64(1);
    }

    void scryptCost() {
        QFETCH(quint64, opslimit);
        QFETCH(quint64, memlimit);
        QFETCH(int, nLog2);
        QFETCH(quint64, p);
        const ScryptCost cost = scryptCostOf(opslimit, memlimit);
        QCOMPARE(cost.nLog2, nLog2);
        QCOMPARE(cost.p, p);
    }

    // What sign() writes is a signature file in minisign's prehashed form that this reader and
    // minisign -V take.
    void signs_data() {
        QTest::addColumn<bool>("protectedKey");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("comment");
        const QByteArray checksum = fixture("sales.accdb.sha256");
        QTest::newRow("a checksum file") << false << checksum << Comment;
        QTest::newRow("by a password-protected key") << true << checksum << Comment;
        QTest::newRow("an empty message") << false << QByteArray() << Comment;
        QTest::newRow("100,000 bytes") << false << patternBytes(100'000) << Comment;
        QTest::newRow("an empty trusted comment") << false << checksum << QByteArray();
        QTest::newRow("the longest trusted comment")
            << false << checksum << QByteArray(MaxTrustedCommentSize, 't');
        QTest::newRow("a release of a name with blanks")
            << false << checksum
            << releaseComment({QStringLiteral("my sales 100%.accdb"), 7}, 1765300000);
    }

    void signs() {
        QFETCH(bool, protectedKey);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, comment);
        const SecretKey& key = protectedKey ? ::protectedKey() : unprotectedKey();
        const QByteArray file = sign(message, key, comment);
        const QList<QByteArray> lines = linesOf(file);
        QVERIFY(file.endsWith('\n'));
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QByteArray("untrusted comment: signature from minisign secret key"));
        QCOMPARE(decodedLine(file, 1).first(10), "ED" + keyIdBytes(key.id()));
        QCOMPARE(lines[2], "trusted comment: " + comment);

        const Signature read = readSignature(file);
        QCOMPARE(read.trustedComment, comment);
        QCOMPARE(verify(message, read, {key.publicKey()}).id, key.id());
        if (!minisign.missing.isEmpty())
            QSKIP(qPrintable(minisign.missing));
        QCOMPARE(minisignRefusal(message, file, {key.publicKey()}), QString());
    }

    // minisign -Vm FILE -P KEY, as an administrator checks a master by hand, with a key that
    // minisign -G made and protected with a password given on standard input.
    void minisignChecksWhatASigningKeyMadeByMinisignSigns() {
        if (!minisign.missing.isEmpty())
            QSKIP(qPrintable(minisign.missing));
        const QString publicPath = path(QStringLiteral("fresh.pub"));
        const QString secretPath = path(QStringLiteral("fresh.key"));
        const Outcome made = runMinisign(minisign.path,
                                         {QStringLiteral("-G"), QStringLiteral("-p"), publicPath,
                                          QStringLiteral("-s"), secretPath},
                                         Password + '\n' + Password + '\n');
        QVERIFY2(made.exitCode == 0, made.output.constData());
        const QByteArray secretFile = readFile(secretPath);
        QVERIFY(SecretKey::isEncrypted(secretFile));
        const SecretKey key = SecretKey::read(secretFile, Password);
        QCOMPARE(key.publicKey().key, readPublicKey(readFile(publicPath)).key);

        const QString master = path(QStringLiteral("sales.accdb.sha256"));
        QVERIFY(writeFile(master, fixture("sales.accdb.sha256")));
        QVERIFY(writeFile(signaturePathFor(master), sign(readFile(master), key, Comment)));
        const Outcome checked = runMinisign(
            minisign.path, {QStringLiteral("-Vm"), master, QStringLiteral("-p"), publicPath});
        QVERIFY2(checked.exitCode == 0, checked.output.constData());
        QVERIFY2(checked.output.contains("Trusted comment: " + Comment),
                 checked.output.constData());
    }

    void refusesTrustedCommentsMinisignCannotCarry_data() {
        QTest::addColumn<QByteArray>("comment");
        QTest::newRow("one byte too long") << QByteArray(MaxTrustedCommentSize + 1, 't');
        QTest::newRow("a line feed") << QByteArray("file:a release:1\nrelease:9");
        QTest::newRow("a carriage return") << QByteArray("file:a release:1\r");
        QTest::newRow("a NUL") << QByteArray("file:a\0 release:1", 17);
    }

    void refusesTrustedCommentsMinisignCannotCarry() {
        QFETCH(QByteArray, comment);
        QCOMPARE(errorOf([&] { sign("message", unprotectedKey(), comment); }),
                 runTimeNumberOf(ErrorKind::InvalidProcedureCall));
    }

    // The cryptography writes nothing of its own on standard error, where the console program's
    // lines go, also where it cannot lock its guarded memory (no RLIMIT_MEMLOCK, no CAP_IPC_LOCK).
    void quietOnStandardError() {
        QStringList command;
        const QString prlimit = QStandardPaths::findExecutable(QStringLiteral("prlimit"));
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (runsAsRoot() && !setpriv.isEmpty())
            command << setpriv << QStringLiteral("--bounding-set=-ipc_lock")
                    << QStringLiteral("--inh-caps=-ipc_lock");
        if (!prlimit.isEmpty())
            command << prlimit << QStringLiteral("--memlock=0:0");
        command << QCoreApplication::applicationFilePath()
                << QStringLiteral("signs:a checksum file");
        QProcess child;
        child.start(command.takeFirst(), command);
        QVERIFY2(child.waitForFinished(120'000), qPrintable(child.errorString()));
        const QByteArray output = child.readAllStandardOutput();
        QVERIFY2(child.exitCode() == 0, output.constData());
        // Signed and verified; checked by minisign too, where it runs.
        QVERIFY2(output.contains("TestMinisign::signs(a checksum file)"), output.constData());
        QCOMPARE(child.readAllStandardError(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestMinisign)
#include "test_minisign.moc"
