#include "copy/SignatureCrypto.h"

#include "core/RunTimeError.h"

#include <gcrypt.h>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <utility>

namespace tarsel::crypto {

namespace {

// Enough for a few secret keys and libgcrypt's own working copies of them; it grows, unlocked,
// rather than fail.
constexpr int SecureMemorySize = 32 * 1024; // an int, as gcry_control reads it

RunTimeError failure(const char* call, gcry_error_t error) {
    return RunTimeError(ErrorKind::CryptoFailed, QStringLiteral("libgcrypt: %1: %2")
                                                     .arg(QLatin1String(call))
                                                     .arg(QString::fromUtf8(gcry_strerror(error))));
}

// The library's one set-up, as its manual asks of a program: the version check first, then
// secure memory, without the warning libgcrypt prints on standard error where memory cannot be
// locked (no CAP_IPC_LOCK and RLIMIT_MEMLOCK too small): the console program's standard error is
// its own. Empty when done, else why not.
QString setUp() {
    if (!gcry_check_version(GCRYPT_VERSION))
        return QStringLiteral("libgcrypt %1 is older than %2, which this program needs")
            .arg(QLatin1String(gcry_check_version(nullptr)), QLatin1String(GCRYPT_VERSION));
    if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P))
        return QString(); // set up by another part of this process
    gcry_control(GCRYCTL_DISABLE_SECMEM_WARN);
    // Where the memory cannot be locked this reports a general error, yet the pool works, unlocked
    // (and still wiped): better than refusing to sign for an unprivileged user.
    gcry_control(GCRYCTL_INIT_SECMEM, SecureMemorySize, 0);
    gcry_control(GCRYCTL_AUTO_EXPAND_SECMEM, SecureMemorySize);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return QString();
}

void ensureSetUp() {
    static const QString failed = setUp();
    if (!failed.isEmpty())
        throw RunTimeError(ErrorKind::CryptoFailed, failed);
}

struct SexpRelease {
    void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<std::remove_pointer_t<gcry_sexp_t>, SexpRelease>;

template <typename... Arguments> Sexp built(const char* format, Arguments... arguments) {
    gcry_sexp_t sexp = nullptr;
    if (const gcry_error_t error = gcry_sexp_build(&sexp, nullptr, format, arguments...))
        throw failure("gcry_sexp_build", error);
    return Sexp(sexp);
}

void requireWhole(QByteArrayView message) {
    if (message.size() > MaxWholeMessageSize)
        throw RunTimeError(ErrorKind::CryptoFailed,
                           QStringLiteral("Ed25519 signs and verifies at most %1 bytes whole here, "
                                          "not %2")
                               .arg(MaxWholeMessageSize)
                               .arg(message.size()));
}

Sexp messageSexp(QByteArrayView message) {
    requireWhole(message);
    return built("(data(flags eddsa)(hash-algo sha512)(value %b))", int(message.size()),
                 message.data());
}

// libgcrypt 1.10 aborts the process, instead of refusing the key, on a point whose y is below
// 2^192 (the top 64 bits of its encoding clear, but for the sign of x). No key grown from a seed
// has one (a chance of 2^-63), so such a key is a broken one.
bool abortsLibgcrypt(QByteArrayView publicKey) {
    const auto top = publicKey.sliced(24);
    return std::all_of(top.begin(), top.end() - 1, [](char c) { return c == 0; }) &&
           (uchar(top.back()) & 0x7f) == 0;
}

} // namespace

void wipe(void* bytes, qsizetype size) {
    volatile uchar* p = static_cast<volatile uchar*>(bytes);
    while (size-- > 0)
        *p++ = 0;
}

void wipe(QByteArray& bytes) {
    wipe(bytes.data(), bytes.size());
    bytes.clear();
}

SecureBytes::SecureBytes(qsizetype size) : size_(size) {
    ensureSetUp();
    data_ = static_cast<uchar*>(gcry_calloc_secure(1, size_t(std::max<qsizetype>(size, 1))));
    if (!data_)
        throw RunTimeError(ErrorKind::CryptoFailed,
                           QStringLiteral("libgcrypt: no secure memory left for a secret"));
}

SecureBytes::~SecureBytes() {
    if (data_) {
        wipe(data_, size_);
        gcry_free(data_);
    }
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
    const int algorithm = digestSize == 32 ? GCRY_MD_BLAKE2B_256 : GCRY_MD_BLAKE2B_512;
    gcry_md_hd_t hash = nullptr;
    if (const gcry_error_t error = gcry_md_open(
            &hash, algorithm, gcry_is_secure(message.data()) ? GCRY_MD_FLAG_SECURE : 0))
        throw failure("gcry_md_open", error);
    gcry_md_write(hash, message.data(), size_t(message.size()));
    const QByteArray digest(reinterpret_cast<const char*>(gcry_md_read(hash, algorithm)),
                            digestSize);
    gcry_md_close(hash);
    return digest;
}

void scrypt(QByteArrayView password, QByteArrayView salt, int nLog2, quint32 p, SecureBytes& key) {
    ensureSetUp();
    Q_ASSERT(nLog2 > 0 && nLog2 < 31);
    if (const gcry_error_t error =
            gcry_kdf_derive(password.data(), size_t(password.size()), GCRY_KDF_SCRYPT, 1 << nLog2,
                            salt.data(), size_t(salt.size()), p, size_t(key.size()), key.data()))
        throw failure("gcry_kdf_derive (scrypt)", error);
}

QByteArray publicKeyOf(const SecureBytes& seed) {
    Q_ASSERT(seed.size() == SeedSize);
    ensureSetUp();
    const Sexp key =
        built("(private-key(ecc(curve Ed25519)(flags eddsa)(d %b)))", int(SeedSize), seed.data());
    gcry_ctx_t context = nullptr;
    if (const gcry_error_t error = gcry_mpi_ec_new(&context, key.get(), nullptr))
        throw failure("gcry_mpi_ec_new", error);
    const gcry_mpi_t q = gcry_mpi_ec_get_mpi("q@eddsa", context, 1);
    gcry_ctx_release(context);
    unsigned int bits = 0;
    const void* encoded = q ? gcry_mpi_get_opaque(q, &bits) : nullptr;
    QByteArray publicKey;
    if (encoded && bits == 8 * PublicKeySize)
        publicKey = QByteArray(static_cast<const char*>(encoded), PublicKeySize);
    gcry_mpi_release(q);
    if (publicKey.isEmpty())
        throw RunTimeError(ErrorKind::CryptoFailed,
                           QStringLiteral("libgcrypt: gcry_mpi_ec_get_mpi gave no public key"));
    return publicKey;
}

QByteArray sign(const SecureBytes& seed, QByteArrayView publicKey, QByteArrayView message) {
    Q_ASSERT(seed.size() == SeedSize && publicKey.size() == PublicKeySize);
    ensureSetUp();
    // Built from secure memory, the key's S-expression is in secure memory too.
    const Sexp key = built("(private-key(ecc(curve Ed25519)(flags eddsa)(q %b)(d %b)))",
                           int(PublicKeySize), publicKey.data(), int(SeedSize), seed.data());
    const Sexp data = messageSexp(message);
    gcry_sexp_t result = nullptr;
    if (const gcry_error_t error = gcry_pk_sign(&result, data.get(), key.get()))
        throw failure("gcry_pk_sign", error);
    const Sexp signature(result);
    QByteArray bytes;
    for (const char* part : {"r", "s"}) {
        const Sexp token(gcry_sexp_find_token(signature.get(), part, 0));
        size_t length = 0;
        const char* value = token ? gcry_sexp_nth_data(token.get(), 1, &length) : nullptr;
        if (!value || length != SignatureSize / 2)
            throw RunTimeError(ErrorKind::CryptoFailed,
                               QStringLiteral("libgcrypt: gcry_pk_sign gave no %1 of 32 bytes")
                                   .arg(QLatin1String(part)));
        bytes.append(value, qsizetype(length));
    }
    return bytes;
}

Verdict verify(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature) {
    Q_ASSERT(publicKey.size() == PublicKeySize && signature.size() == SignatureSize);
    ensureSetUp();
    if (abortsLibgcrypt(publicKey))
        return Verdict::BrokenKey;
    const Sexp key = built("(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))",
                           int(PublicKeySize), publicKey.data());
    const Sexp data = messageSexp(message);
    const Sexp value =
        built("(sig-val(eddsa(r %b)(s %b)))", int(SignatureSize / 2), signature.data(),
              int(SignatureSize / 2), signature.data() + SignatureSize / 2);
    const gcry_error_t error = gcry_pk_verify(value.get(), data.get(), key.get());
    switch (gcry_err_code(error)) {
    case GPG_ERR_NO_ERROR:
        return Verdict::Good;
    case GPG_ERR_BAD_SIGNATURE:
        return Verdict::Bad;
    case GPG_ERR_BROKEN_PUBKEY:
    case GPG_ERR_INV_OBJ:
        return Verdict::BrokenKey;
    default:
        throw failure("gcry_pk_verify", error);
    }
}

} // namespace tarsel::crypto
