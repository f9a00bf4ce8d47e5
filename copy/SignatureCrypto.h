#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

namespace tarsel::crypto {

// The cryptography of release signatures, from libgcrypt on every system: Ed25519 (RFC 8032),
// BLAKE2b (RFC 7693) and scrypt (RFC 7914). libgcrypt is set up on first use; every failure is
// a RunTimeError (ErrorKind::CryptoFailed) that names the call and libgcrypt's reason.

constexpr qsizetype PublicKeySize = 32;
constexpr qsizetype SeedSize = 32; // an Ed25519 secret key: the seed its key pair grows from
constexpr qsizetype SignatureSize = 64;

// The most that Ed25519 signs or verifies whole. libgcrypt passes the message through an
// S-expression, and libgcrypt 1.10 mishandles those near and above 64 KiB, on Linux as in its
// Windows build: a wrong verdict, or the process aborted. Larger messages are refused here, never
// passed on.
constexpr qsizetype MaxWholeMessageSize = 32 * 1024;

// Overwrites memory in a way that the compiler keeps, for secrets that are done with. A
// QByteArray is emptied too; one that shares its bytes with another is copied first and only the
// copy wiped, so wipe every one.
void wipe(void* bytes, qsizetype size);
void wipe(QByteArray& bytes);

// Bytes in libgcrypt's secure memory (kept out of swap where the system lets this process lock
// memory), zeroed when made and wiped when freed. Throws when no such memory is left.
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

// BLAKE2b of `message` with a digest of `digestSize` bytes (32 or 64), unkeyed. Its working state
// is in secure memory when `message` is.
QByteArray blake2b(QByteArrayView message, qsizetype digestSize);

// scrypt with N = 2^nLog2, r = 8 (the only r libgcrypt offers) and `p`, filling `key`.
void scrypt(QByteArrayView password, QByteArrayView salt, int nLog2, quint32 p, SecureBytes& key);

// The public key of a seed.
QByteArray publicKeyOf(const SecureBytes& seed);

// The Ed25519 signature of `message` (at most MaxWholeMessageSize bytes) by the key pair of
// `seed` and its `publicKey`.
QByteArray sign(const SecureBytes& seed, QByteArrayView publicKey, QByteArrayView message);

enum class Verdict {
    Good,
    Bad,       // not the signature of this message by this key
    BrokenKey, // the public key is no point of the curve
};
// Whether `signature` is the Ed25519 signature of `message` (at most MaxWholeMessageSize bytes)
// by `publicKey`.
Verdict verify(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature);

} // namespace tarsel::crypto
