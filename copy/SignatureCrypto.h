#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace tarsel::crypto {

// The cryptography of release signatures, from libsodium on every system: Ed25519 (RFC 8032),
// BLAKE2b (RFC 7693) and scrypt (RFC 7914). libsodium is minisign's own library, so a signature
// is good here exactly when minisign finds it good, and its Ed25519 verification is fast enough
// that checking a release adds well under a millisecond to a run. It is set up on first use;
// every failure is a RunTimeError (ErrorKind::CryptoFailed) that names the call and its reason.

constexpr qsizetype PublicKeySize = 32;
constexpr qsizetype SeedSize = 32; // an Ed25519 secret key: the seed its key pair grows from
constexpr qsizetype SignatureSize = 64;

// Overwrites memory in a way that the compiler keeps, for secrets that are done with. A
// QByteArray is emptied too; one that shares its bytes with another is copied first and only the
// copy wiped, so wipe every one.
void wipe(void* bytes, qsizetype size);
void wipe(QByteArray& bytes);

// Bytes in libsodium's guarded memory (kept out of swap where the system lets this process lock
// memory, between pages that cannot be touched), zeroed when made and wiped when freed. Throws
// when no such memory is left.
class SecureBytes {
public:
    explicit SecureBytes(qsizetype size);
    ~SecureBytes();
    SecureBytes(SecureBytes&& other) noexcept;
    SecureBytes& operator=(SecureBytes&& other) noexcept;
    SecureBytes(const SecureBytes&) = delete;
    SecureBytes& operator=(const SecureBytes&) = delete;

    uchar* data() { return data_; }
    const uchar* data() const { return data_; }
    qsizetype size() const { return size_; }
    QByteArrayView view() const { return QByteArrayView(data_, size_); }

private:
    uchar* data_ = nullptr;
    qsizetype size_ = 0;
};

// BLAKE2b of `message` with a digest of `digestSize` bytes (32 or 64), unkeyed. libsodium wipes
// its working state, which may hold a secret's bytes.
QByteArray blake2b(QByteArrayView message, qsizetype digestSize);

// scrypt with N = 2^nLog2, r = 8 (minisign's) and `p`, filling `key`.
void scrypt(QByteArrayView password, QByteArrayView salt, int nLog2, quint32 p, SecureBytes& key);

// The public key of a seed.
QByteArray publicKeyOf(const SecureBytes& seed);

// The Ed25519 signature of `message` by the key pair of `seed` and its `publicKey`. Throws when
// `publicKey` is not the seed's.
QByteArray sign(const SecureBytes& seed, QByteArrayView publicKey, QByteArrayView message);

enum class Verdict {
    Good,
    Bad,       // not the signature of this message by this key
    BrokenKey, // no key a seed grows: off the curve, of small order or outside its main group
};
// Whether `signature` is the Ed25519 signature of `message` by `publicKey`. The key is judged
// only when the signature fails: whatever verifies is what minisign takes too.
Verdict verify(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature);

} // namespace tarsel::crypto
