#include "copy/SignatureCrypto.h"

#include "core/RunTimeError.h"

#include <sodium.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tarsel::crypto {

namespace {

static_assert(crypto_sign_PUBLICKEYBYTES == PublicKeySize && crypto_sign_SEEDBYTES == SeedSize &&
              crypto_sign_BYTES == SignatureSize);

RunTimeError failure(const char* call, const QString& reason) {
    return RunTimeError(ErrorKind::CryptoFailed,
                        QStringLiteral("libsodium: %1: %2").arg(QLatin1String(call), reason));
}

// sodium_init picks the processor's fastest code and sets up guarded memory; it may be called
// from any thread, and again.
void ensureSetUp() {
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw failure("sodium_init", QStringLiteral("the library could not be set up"));
}

// The 64-byte secret key that libsodium signs with (the seed, then its public key) and the
// public key, grown from `seed`.
struct KeyPair {
    SecureBytes secret{crypto_sign_SECRETKEYBYTES};
    QByteArray publicKey{PublicKeySize, Qt::Uninitialized};
};

KeyPair keyPairOf(const SecureBytes& seed) {
    Q_ASSERT(seed.size() == SeedSize);
    KeyPair pair;
    if (crypto_sign_seed_keypair(reinterpret_cast<uchar*>(pair.publicKey.data()),
                                 pair.secret.data(), seed.data()) != 0)
        throw failure("crypto_sign_seed_keypair", QStringLiteral("no key pair"));
    return pair;
}

const uchar* bytesOf(QByteArrayView bytes) {
    return reinterpret_cast<const uchar*>(bytes.data());
}

} // namespace

void wipe(void* bytes, qsizetype size) {
    sodium_memzero(bytes, size_t(size));
}

void wipe(QByteArray& bytes) {
    wipe(bytes.data(), bytes.size());
    bytes.clear();
}

SecureBytes::SecureBytes(qsizetype size) : size_(size) {
    ensureSetUp();
    data_ = static_cast<uchar*>(sodium_malloc(size_t(std::max<qsizetype>(size, 1))));
    if (!data_)
        throw failure("sodium_malloc", QStringLiteral("no guarded memory left for a secret"));
    // sodium_malloc fills the bytes with a marker, not zeros.
    std::memset(data_, 0, size_t(size_));
}

SecureBytes::~SecureBytes() {
    sodium_free(data_); // wipes them, and takes a null pointer
}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
}

QByteArray blake2b(QByteArrayView message, qsizetype digestSize) {
    ensureSetUp();
    Q_ASSERT(digestSize == 32 || digestSize == 64);
    QByteArray digest(digestSize, Qt::Uninitialized);
    if (crypto_generichash(reinterpret_cast<uchar*>(digest.data()), size_t(digestSize),
                           bytesOf(message), quint64(message.size()), nullptr, 0) != 0)
        throw failure("crypto_generichash", QStringLiteral("no digest"));
    return digest;
}

void scrypt(QByteArrayView password, QByteArrayView salt, int nLog2, quint32 p, SecureBytes& key) {
    ensureSetUp();
    Q_ASSERT(nLog2 > 0 && nLog2 < 31);
    if (crypto_pwhash_scryptsalsa208sha256_ll(
            bytesOf(password), size_t(password.size()), bytesOf(salt), size_t(salt.size()),
            quint64(1) << nLog2, 8, p, key.data(), size_t(key.size())) != 0)
        throw failure("crypto_pwhash_scryptsalsa208sha256_ll",
                      QString::fromLocal8Bit(std::strerror(errno)));
}

QByteArray publicKeyOf(const SecureBytes& seed) {
    ensureSetUp();
    return keyPairOf(seed).publicKey;
}

QByteArray sign(const SecureBytes& seed, QByteArrayView publicKey, QByteArrayView message) {
    Q_ASSERT(publicKey.size() == PublicKeySize);
    ensureSetUp();
    // libsodium takes the public key from the secret key it is given; signing with one that is
    // not the seed's would give a signature that fails, and two such reveal the secret key.
    const KeyPair pair = keyPairOf(seed);
    if (pair.publicKey != publicKey)
        throw RunTimeError(ErrorKind::CryptoFailed,
                           QStringLiteral("The public key is not the one of the secret key"));
    QByteArray signature(SignatureSize, Qt::Uninitialized);
    if (crypto_sign_detached(reinterpret_cast<uchar*>(signature.data()), nullptr, bytesOf(message),
                             quint64(message.size()), pair.secret.data()) != 0)
        throw failure("crypto_sign_detached", QStringLiteral("no signature"));
    return signature;
}

Verdict verify(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature) {
    Q_ASSERT(publicKey.size() == PublicKeySize && signature.size() == SignatureSize);
    ensureSetUp();
    if (crypto_sign_verify_detached(bytesOf(signature), bytesOf(message), quint64(message.size()),
                                    bytesOf(publicKey)) == 0)
        return Verdict::Good;
    // Only a signature that fails has its key examined, which costs almost a verification more:
    // what verifies is exactly what minisign takes.
    return crypto_core_ed25519_is_valid_point(bytesOf(publicKey)) ? Verdict::Bad
                                                                  : Verdict::BrokenKey;
}

} // namespace tarsel::crypto
