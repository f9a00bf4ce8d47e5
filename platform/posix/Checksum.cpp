#include "platform/Checksum.h"

#include "core/RunTimeError.h"

#include <openssl/err.h>
#include <openssl/evp.h>

namespace tarsel::platform {

namespace {

// libcrypto's own reason, taken off its error queue.
[[noreturn]] void fail(const char* call) {
    char reason[256] = "no reason given";
    if (const unsigned long code = ERR_get_error())
        ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    throw RunTimeError(ErrorKind::DigestFailed,
                       QStringLiteral("SHA-256 (%1): %2").arg(QLatin1String(call), reason));
}

void begin(EVP_MD_CTX* context) {
    if (!EVP_DigestInit_ex(context, EVP_sha256(), nullptr))
        fail("EVP_DigestInit_ex");
}

} // namespace

struct Sha256::State {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context{EVP_MD_CTX_new()};
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
    if (!state_->context)
        fail("EVP_MD_CTX_new");
    begin(state_->context.get());
}

Sha256::~Sha256() = default;

void Sha256::add(const char* bytes, qint64 length) {
    Q_ASSERT(length >= 0);
    if (length > 0 && !EVP_DigestUpdate(state_->context.get(), bytes, size_t(length)))
        fail("EVP_DigestUpdate");
}

QByteArray Sha256::finish() {
    QByteArray digest(DigestLength, Qt::Uninitialized);
    if (!EVP_DigestFinal_ex(state_->context.get(), reinterpret_cast<unsigned char*>(digest.data()),
                            nullptr))
        fail("EVP_DigestFinal_ex");
    begin(state_->context.get());
    return digest;
}

} // namespace tarsel::platform
