#include "copy/Minisign.h"

#include "core/RunTimeError.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <optional>

namespace tarsel::minisign {

namespace {

const QByteArray UntrustedPrefix = "untrusted comment: ";
const QByteArray TrustedPrefix = "trusted comment: ";
// What minisign -S writes: the key is minisign's, wherever the signing happens.
const QByteArray UntrustedComment = "signature from minisign secret key";

const QByteArray Ed25519 = "Ed";
const QByteArray Prehashed = "ED";
const QByteArray Scrypt = "Sc";
const QByteArray NoKdf("\0\0", 2);
const QByteArray Blake2b = "B2";

constexpr qsizetype AlgorithmSize = 2;
constexpr qsizetype KeyIdSize = 8;
constexpr qsizetype PublicKeyFileSize = AlgorithmSize + KeyIdSize + crypto::PublicKeySize;
constexpr qsizetype SignatureLineSize = AlgorithmSize + KeyIdSize + crypto::SignatureSize;
constexpr qsizetype DigestSize = 64;

// A secret key: algorithm, key derivation and checksum algorithms, scrypt's salt and limits,
// then, encrypted by XOR with the scrypt of the password, the key id, the secret key (seed and
// public key, as libsodium keeps it) and the BLAKE2b-256 checksum of algorithm, id and secret key.
constexpr qsizetype SaltSize = 32;
constexpr qsizetype SaltAt = 3 * AlgorithmSize;
constexpr qsizetype OpsLimitAt = SaltAt + SaltSize;
constexpr qsizetype MemLimitAt = OpsLimitAt + 8;
constexpr qsizetype KeyAt = MemLimitAt + 8;
constexpr qsizetype ChecksumSize = 32;
constexpr qsizetype EncryptedSize =
    KeyIdSize + crypto::SeedSize + crypto::PublicKeySize + ChecksumSize;
constexpr qsizetype SecretKeyFileSize = KeyAt + EncryptedSize;

// minisign reads a line into a buffer of 1,024 bytes (an untrusted comment) or 8,192 (a trusted
// comment), its line feed and NUL included.
constexpr qsizetype MaxUntrustedLineSize = 1022;
constexpr qsizetype MaxTrustedLineSize = 8190;
static_assert(MaxTrustedCommentSize == MaxTrustedLineSize - 17);

// minisign's own keys: N = 2^20, r = 8, p = 1, 1 GiB. No more, so that a key file cannot make
// the signing run take the machine's memory or minutes of work.
constexpr int MaxScryptNLog2 = 20;
constexpr quint64 MaxScryptWork = quint64(4) << MaxScryptNLog2; // N * p

KeyId keyIdAt(const char* bytes) {
    return qFromLittleEndian<quint64>(bytes);
}

QByteArray keyIdBytes(KeyId id) {
    QByteArray bytes(KeyIdSize, Qt::Uninitialized);
    qToLittleEndian(id, bytes.data());
    return bytes;
}

// The lines of a text as minisign reads them: up to each line feed, without the carriage returns
// and line feeds at the end.
QList<QByteArrayView> linesOf(QByteArrayView text) {
    QList<QByteArrayView> lines;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        QByteArrayView line = end < 0 ? text : text.first(end);
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
        while (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}

// Base64 of exactly `size` bytes, with its padding, as minisign writes and requires it. Only the
// result holds the bytes afterwards: the copy of the text is wiped, as it may spell a secret key.
std::optional<QByteArray> fromBase64(QByteArrayView text, qsizetype size) {
    if (text.size() != 4 * ((size + 2) / 3))
        return std::nullopt;
    QByteArray encoded = text.toByteArray();
    auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    crypto::wipe(encoded);
    if (!decoded || decoded.decoded.size() != size) {
        crypto::wipe(decoded.decoded);
        return std::nullopt;
    }
    return std::move(decoded.decoded);
}

RunTimeError badKey(const QString& why) {
    return RunTimeError(ErrorKind::BadKey, why);
}

RunTimeError badSignature(const QString& why) {
    return RunTimeError(ErrorKind::BadSignatureFile, why);
}

QString algorithmText(QByteArrayView algorithm) {
    return QString::fromLatin1(algorithm.toByteArray().toHex());
}

// A secret key file's fields, the encrypted part in secure memory.
struct SecretKeyFile {
    QByteArray header; // up to the encrypted part
    crypto::SecureBytes key{EncryptedSize};

    bool encrypted() const { return header.sliced(AlgorithmSize, AlgorithmSize) == Scrypt; }
};

SecretKeyFile secretKeyFile(QByteArrayView file) {
    const QList<QByteArrayView> lines = linesOf(file);
    if (lines.size() < 2 || !lines[0].startsWith(UntrustedPrefix))
        throw badKey(QStringLiteral("Not a secret key file of minisign's: it must begin with an "
                                    "\"untrusted comment:\" line and the key"));
    std::optional<QByteArray> bytes = fromBase64(lines[1], SecretKeyFileSize);
    if (!bytes)
        throw badKey(QStringLiteral("Not a secret key file of minisign's: its key line is no "
                                    "secret key in base64"));
    SecretKeyFile key;
    key.header = bytes->first(KeyAt);
    std::memcpy(key.key.data(), bytes->constData() + KeyAt, EncryptedSize);
    crypto::wipe(*bytes);
    const QByteArray algorithm = key.header.first(AlgorithmSize);
    const QByteArray kdf = key.header.sliced(AlgorithmSize, AlgorithmSize);
    const QByteArray checksum = key.header.sliced(2 * AlgorithmSize, AlgorithmSize);
    if (algorithm != Ed25519 || (kdf != Scrypt && kdf != NoKdf) || checksum != Blake2b)
        throw badKey(
            QStringLiteral("A secret key of algorithms minisign does not write (%1, "
                           "%2, %3), not Ed25519 protected by scrypt")
                .arg(algorithmText(algorithm), algorithmText(kdf), algorithmText(checksum)));
    return key;
}

ScryptCost limitedScryptCost(const QByteArray& header) {
    const ScryptCost cost =
        scryptCostOf(qFromLittleEndian<quint64>(header.constData() + OpsLimitAt),
                     qFromLittleEndian<quint64>(header.constData() + MemLimitAt));
    if (cost.p == 0 || cost.nLog2 > MaxScryptNLog2 ||
        (quint64(1) << cost.nLog2) * cost.p > MaxScryptWork)
        throw badKey(QStringLiteral("The secret key asks for more scrypt memory or work (N = "
                                    "2^%1, p = %2) than minisign's own keys, or for none")
                         .arg(cost.nLog2)
                         .arg(cost.p));
    return cost;
}

} // namespace

QString keyIdText(KeyId id) {
    return QString::number(id, 16).toUpper();
}

PublicKey readPublicKey(QByteArrayView text) {
    QList<QByteArrayView> lines = linesOf(text);
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty())
        lines.removeLast();
    QByteArrayView line;
    if (lines.size() == 2 && lines[0].startsWith(UntrustedPrefix))
        line = lines[1];
    else if (lines.size() == 1)
        line = lines[0].trimmed();
    const std::optional<QByteArray> bytes = fromBase64(line, PublicKeyFileSize);
    if (!bytes)
        throw badKey(QStringLiteral("Not a public key of minisign's: neither its base64 line "
                                    "(RW...) nor a public key file as minisign -G writes it"));
    if (!bytes->startsWith(Ed25519))
        throw badKey(QStringLiteral("A public key of algorithm %1, not Ed25519")
                         .arg(algorithmText(bytes->first(AlgorithmSize))));
    return PublicKey{keyIdAt(bytes->constData() + AlgorithmSize),
                     bytes->sliced(AlgorithmSize + KeyIdSize)};
}

ScryptCost scryptCostOf(quint64 opslimit, quint64 memlimit) {
    constexpr quint64 r = 8;
    opslimit = std::max<quint64>(opslimit, 32768);
    // The least nLog2 from 1 up with 2^nLog2 above maxN / 2, as libsodium picks N.
    const auto nLog2Below = [](quint64 maxN) {
        int nLog2 = 1;
        while (nLog2 < 63 && (quint64(1) << nLog2) <= maxN / 2)
            ++nLog2;
        return nLog2;
    };
    if (opslimit < memlimit / 32)
        return ScryptCost{nLog2Below(opslimit / (r * 4)), 1};
    const int nLog2 = nLog2Below(memlimit / (r * 128));
    const quint64 rp = std::min<quint64>((opslimit / 4) >> nLog2, 0x3fffffff);
    return ScryptCost{nLog2, rp / r};
}

bool SecretKey::isEncrypted(QByteArrayView file) {
    return secretKeyFile(file).encrypted();
}

SecretKey::SecretKey(PublicKey publicKey, crypto::SecureBytes seed)
    : public_(std::move(publicKey)), seed_(std::move(seed)) {}

SecretKey SecretKey::read(QByteArrayView file, QByteArrayView password) {
    SecretKeyFile key = secretKeyFile(file);
    const bool encrypted = key.encrypted();
    if (encrypted) {
        const ScryptCost cost = limitedScryptCost(key.header);
        crypto::SecureBytes stream(EncryptedSize);
        crypto::scrypt(password, QByteArrayView(key.header).sliced(SaltAt, SaltSize), cost.nLog2,
                       quint32(cost.p), stream);
        for (qsizetype i = 0; i < EncryptedSize; ++i)
            key.key.data()[i] ^= stream.data()[i];
    }
    const char* plain = reinterpret_cast<const char*>(key.key.data());
    const qsizetype seedAt = KeyIdSize;
    const qsizetype publicAt = seedAt + crypto::SeedSize;
    const qsizetype checksumAt = publicAt + crypto::PublicKeySize;

    crypto::SecureBytes checked(AlgorithmSize + checksumAt);
    std::memcpy(checked.data(), Ed25519.constData(), AlgorithmSize);
    std::memcpy(checked.data() + AlgorithmSize, plain, checksumAt);
    const QByteArray checksum = crypto::blake2b(checked.view(), ChecksumSize);
    const QByteArrayView stored(plain + checksumAt, ChecksumSize);
    // minisign -W writes no checksum (zeros) for a key it does not protect.
    const bool unchecked =
        !encrypted && std::all_of(stored.begin(), stored.end(), [](char c) { return c == 0; });
    if (!unchecked && checksum != stored)
        throw encrypted ? RunTimeError(ErrorKind::WrongPassword,
                                       QStringLiteral("Wrong password for that secret key"))
                        : badKey(QStringLiteral("The secret key is damaged: its checksum does "
                                                "not match"));

    crypto::SecureBytes seed(crypto::SeedSize);
    std::memcpy(seed.data(), plain + seedAt, crypto::SeedSize);
    PublicKey publicKey{keyIdAt(plain), crypto::publicKeyOf(seed)};
    if (publicKey.key != QByteArrayView(plain + publicAt, crypto::PublicKeySize))
        throw badKey(QStringLiteral("The secret key is damaged: its public key is not that of "
                                    "its secret"));
    return SecretKey(std::move(publicKey), std::move(seed));
}

QString signaturePathFor(const QString& file) {
    return file + QStringLiteral(".minisig");
}

Signature readSignature(QByteArrayView file) {
    if (file.size() > MaxSignatureFileSize)
        throw badSignature(QStringLiteral("Larger than %1 KiB, so no signature file")
                               .arg(MaxSignatureFileSize / 1024));
    if (file.contains('\0'))
        throw badSignature(QStringLiteral("Not a signature file: it holds a NUL character"));
    const QList<QByteArrayView> lines = linesOf(file);
    if (lines.size() < 4)
        throw badSignature(lines.isEmpty()
                               ? QStringLiteral("Empty, so no signature file")
                               : QStringLiteral("Cut short: %1 of the 4 lines of a signature file")
                                     .arg(lines.size()));
    if (!lines[0].startsWith(UntrustedPrefix))
        throw badSignature(QStringLiteral("Not a signature file: its first line is no "
                                          "\"untrusted comment:\""));
    if (lines[0].size() > MaxUntrustedLineSize)
        throw badSignature(QStringLiteral("Its untrusted comment is longer than minisign reads"));
    if (!lines[2].startsWith(TrustedPrefix))
        throw badSignature(QStringLiteral("Not a signature file: its third line is no "
                                          "\"trusted comment:\""));
    if (lines[2].size() > MaxTrustedLineSize)
        throw badSignature(QStringLiteral("Its trusted comment is longer than minisign reads"));
    const std::optional<QByteArray> signature = fromBase64(lines[1], SignatureLineSize);
    const std::optional<QByteArray> global = fromBase64(lines[3], crypto::SignatureSize);
    if (!signature || !global)
        throw badSignature(
            QStringLiteral("Not a signature file: its %1 line is no signature in "
                           "base64")
                .arg(signature ? QStringLiteral("fourth") : QStringLiteral("second")));
    const QByteArray algorithm = signature->first(AlgorithmSize);
    if (algorithm != Prehashed && algorithm != Ed25519)
        throw badSignature(QStringLiteral("Signed with algorithm %1, not Ed25519 (ED or Ed)")
                               .arg(algorithmText(algorithm)));
    Signature result;
    result.untrustedComment = lines[0].sliced(UntrustedPrefix.size()).toByteArray();
    result.algorithm = algorithm == Prehashed ? Algorithm::Prehashed : Algorithm::Legacy;
    result.keyId = keyIdAt(signature->constData() + AlgorithmSize);
    result.signature = signature->sliced(AlgorithmSize + KeyIdSize);
    result.trustedComment = lines[2].sliced(TrustedPrefix.size()).toByteArray();
    result.globalSignature = *global;
    return result;
}

PublicKey verify(QByteArrayView message, const Signature& signature,
                 const QList<PublicKey>& trusted) {
    if (signature.signature.size() != crypto::SignatureSize ||
        signature.globalSignature.size() != crypto::SignatureSize ||
        signature.trustedComment.size() > MaxTrustedCommentSize)
        throw badSignature(QStringLiteral("Not a signature as a signature file holds it"));
    QList<PublicKey> candidates;
    std::copy_if(trusted.begin(), trusted.end(), std::back_inserter(candidates),
                 [&](const PublicKey& key) { return key.id == signature.keyId; });
    for (const PublicKey& key : candidates)
        if (key.key.size() != crypto::PublicKeySize)
            throw badKey(QStringLiteral("The trusted key %1 is no Ed25519 public key")
                             .arg(keyIdText(key.id)));
    if (candidates.isEmpty())
        throw RunTimeError(ErrorKind::KeyNotTrusted,
                           QStringLiteral("Signed by key %1, which is not a trusted key")
                               .arg(keyIdText(signature.keyId)));
    const QByteArray signedBytes = signature.algorithm == Algorithm::Prehashed
                                       ? crypto::blake2b(message, DigestSize)
                                       : message.toByteArray();
    bool broken = false;
    for (const PublicKey& key : candidates) {
        switch (crypto::verify(key.key, signedBytes, signature.signature)) {
        case crypto::Verdict::Good:
            if (crypto::verify(key.key, signature.signature + signature.trustedComment,
                               signature.globalSignature) != crypto::Verdict::Good)
                throw RunTimeError(ErrorKind::SignatureDiffers,
                                   QStringLiteral("The trusted comment is not the one signed"));
            return key;
        case crypto::Verdict::BrokenKey:
            broken = true;
            break;
        case crypto::Verdict::Bad:
            break;
        }
    }
    if (broken && candidates.size() == 1)
        throw badKey(QStringLiteral("The trusted key %1 is damaged: no Ed25519 public key")
                         .arg(keyIdText(signature.keyId)));
    throw RunTimeError(ErrorKind::SignatureDiffers,
                       QStringLiteral("The signature does not match what it signs"));
}

QByteArray sign(QByteArrayView message, const SecretKey& key, QByteArrayView trustedComment) {
    if (trustedComment.size() > MaxTrustedCommentSize || trustedComment.contains('\n') ||
        trustedComment.contains('\r') || trustedComment.contains('\0'))
        throw RunTimeError(ErrorKind::InvalidProcedureCall,
                           QStringLiteral("A trusted comment is one line of at most %1 bytes")
                               .arg(MaxTrustedCommentSize));
    const PublicKey& publicKey = key.publicKey();
    const QByteArray signature =
        crypto::sign(key.seed(), publicKey.key, crypto::blake2b(message, DigestSize));
    const QByteArray global =
        crypto::sign(key.seed(), publicKey.key, signature + trustedComment.toByteArray());
    const QByteArray file = UntrustedPrefix + UntrustedComment + '\n' +
                            (Prehashed + keyIdBytes(key.id()) + signature).toBase64() + '\n' +
                            TrustedPrefix + trustedComment.toByteArray() + '\n' +
                            global.toBase64() + '\n';
    // A fault while signing (memory, the library) shows here, not on every desk.
    verify(message, readSignature(file), {publicKey});
    return file;
}

} // namespace tarsel::minisign
