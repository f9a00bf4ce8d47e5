#pragma once

#include "copy/SignatureCrypto.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace tarsel::minisign {

// minisign's keys and signatures (Ed25519), read and written as Debian's minisign 0.11 reads and
// writes them, so that administrators sign and check releases with minisign as well as with the
// tool. Each failure is a RunTimeError of its own kind, with a text that names no file: the
// caller adds which.

// A key's id: its 8 bytes, little-endian, as minisign compares and prints them.
using KeyId = quint64;

// The id as minisign prints it: upper-case hex digits without leading zeros.
QString keyIdText(KeyId id);

struct PublicKey {
    KeyId id = 0;
    QByteArray key; // crypto::PublicKeySize bytes
};

// The public key in `text`: its base64 line alone ("RW...", as `minisign -P` takes it; blanks
// and line ends around it are ignored), or a public key file as `minisign -G` writes it (an
// untrusted comment line, then the key line). Throws RunTimeError (ErrorKind::BadKey).
PublicKey readPublicKey(QByteArrayView text);

// A secret key file as `minisign -G` writes it, password-protected (scrypt, as minisign derives
// it from the password, with a checksum of the key) or, with -W, not. The secret stays in
// secure memory for as long as the object lives and is wiped with it.
class SecretKey {
public:
    // Whether the file's key is password-protected, so that the caller asks for a password only
    // then. Throws RunTimeError (ErrorKind::BadKey) for a file that is no secret key.
    static bool isEncrypted(QByteArrayView file);

    // The key in `file`, opened with `password` (its bytes as typed, without a line end; ignored
    // for a key that is not protected). The caller wipes both when done (crypto::wipe). Throws
    // RunTimeError: ErrorKind::WrongPassword, ErrorKind::BadKey for a file that is no secret key
    // of minisign's, or is damaged, or asks for more scrypt memory or work than minisign's own
    // keys (1 GiB).
    static SecretKey read(QByteArrayView file, QByteArrayView password);

    const PublicKey& publicKey() const { return public_; }
    KeyId id() const { return public_.id; }
    const crypto::SecureBytes& seed() const { return seed_; }

private:
    SecretKey(PublicKey publicKey, crypto::SecureBytes seed);
    PublicKey public_;
    crypto::SecureBytes seed_;
};

// The scrypt cost that a protected secret key's opslimit and memlimit ask for, turned into N =
// 2^nLog2, r = 8 and p as libsodium's crypto_pwhash_scryptsalsa208sha256 turns them, with which
// minisign derives the key; p is 0 for limits that give no usable cost.
struct ScryptCost {
    int nLog2 = 0;
    quint64 p = 0;
};
ScryptCost scryptCostOf(quint64 opslimit, quint64 memlimit);

// How the message was signed: its BLAKE2b-512 digest (minisign's default, "ED"), or the message
// itself ("Ed", `minisign -l` and minisign before 0.8).
enum class Algorithm { Prehashed, Legacy };

// A signature file's content.
struct Signature {
    QByteArray untrustedComment; // without "untrusted comment: "
    Algorithm algorithm = Algorithm::Prehashed;
    KeyId keyId = 0;
    QByteArray signature;       // crypto::SignatureSize bytes
    QByteArray trustedComment;  // without "trusted comment: "; covered by the global signature
    QByteArray globalSignature; // over signature || trustedComment
};

// The file that minisign writes for `file`: its path with ".minisig" added.
QString signaturePathFor(const QString& file);

// More than any signature file minisign writes or reads: a reader need read no further.
constexpr qsizetype MaxSignatureFileSize = 16 * 1024;

// The longest trusted comment that minisign reads back (a line of at most 8,191 bytes).
constexpr qsizetype MaxTrustedCommentSize = 8173;

// The signature in a signature file, read as minisign reads it: the untrusted comment line, the
// signature line (algorithm, key id, signature, in base64), the trusted comment line and the
// global signature line, each ending in LF or CRLF; what follows them is not read. Throws
// RunTimeError (ErrorKind::BadSignatureFile) for a file of any other form: empty, cut short,
// garbage, another algorithm, a line too long for minisign.
Signature readSignature(QByteArrayView file);

// The trusted key by which `signature` signs `message`, checked as `minisign -V` checks it: the
// key with its id among `trusted`, then the signature of the message, then the global signature
// of the trusted comment. Throws RunTimeError: ErrorKind::KeyNotTrusted (naming the signature's
// key id) when no trusted key has its id, ErrorKind::SignatureDiffers when the message or the
// trusted comment is not the one signed, ErrorKind::BadKey when the trusted key with that id is
// no Ed25519 key.
PublicKey verify(QByteArrayView message, const Signature& signature,
                 const QList<PublicKey>& trusted);

// The signature file for `message` by `key`, in the prehashed form, as `minisign -S -t
// trustedComment` writes it; checked before it is returned. The trusted comment is one line of
// at most MaxTrustedCommentSize bytes without NUL, else RunTimeError
// (ErrorKind::InvalidProcedureCall).
QByteArray sign(QByteArrayView message, const SecretKey& key, QByteArrayView trustedComment);

} // namespace tarsel::minisign
