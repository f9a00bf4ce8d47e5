#include "platform/Checksum.h"

#include "platform/win32/Contracts.h"
#include "platform/win32/Win32.h"

#include <bcrypt.h>
#include <winternl.h>

#include <algorithm>

namespace tarsel::platform {

using namespace win32;

namespace {

// BCryptHashData takes at most a ULONG at a time.
constexpr qint64 MaxPart = qint64(1) << 30;

[[noreturn]] void fail(const char* call, NTSTATUS status) {
    throw RunTimeError(ErrorKind::DigestFailed,
                       QStringLiteral("SHA-256 (%1, NTSTATUS 0x%2): %3")
                           .arg(QLatin1String(call))
                           .arg(ulong(status), 8, 16, QLatin1Char('0'))
                           .arg(systemText(RtlNtStatusToDosError(status))));
}

void check(const char* call, NTSTATUS status) {
    if (!BCRYPT_SUCCESS(status))
        fail(call, status);
}

// The algorithm provider, opened once: opening it is the costly step, and its handle may be shared.
struct Provider {
    BCRYPT_ALG_HANDLE handle = nullptr;
    // What BCryptFinishHash takes, exactly: Windows refuses any other output length.
    DWORD hashLength = 0;

    Provider() {
        check("BCryptOpenAlgorithmProvider",
              BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
        ULONG written = 0;
        check("BCryptGetProperty",
              BCryptGetProperty(handle, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&hashLength),
                                sizeof hashLength, &written, 0));
    }
    ~Provider() { BCryptCloseAlgorithmProvider(handle, 0); }
    Provider(const Provider&) = delete;
    Provider& operator=(const Provider&) = delete;
};

const Provider& provider() {
    static const Provider opened; // tried again on the next call if it throws
    return opened;
}

} // namespace

struct Sha256::State {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~State() {
        if (hash)
            BCryptDestroyHash(hash);
    }
};

// No hash object buffer is passed: CNG allocates and frees it itself (Windows 8 and later). A
// reusable hash starts afresh after BCryptFinishHash.
Sha256::Sha256() : state_(std::make_unique<State>()) {
    check("BCryptCreateHash", BCryptCreateHash(provider().handle, &state_->hash, nullptr, 0,
                                               nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG));
}

Sha256::~Sha256() = default;

void Sha256::add(const char* bytes, qint64 length) {
    Q_ASSERT(length >= 0);
    for (qint64 done = 0; done < length;) {
        const qint64 part = std::min(length - done, MaxPart);
        // The input is only read, although the parameter is not const.
        check("BCryptHashData",
              BCryptHashData(state_->hash,
                             reinterpret_cast<PUCHAR>(const_cast<char*>(bytes + done)), ULONG(part),
                             0));
        done += part;
    }
}

QByteArray Sha256::finish() {
    QByteArray digest(DigestLength, Qt::Uninitialized);
    // Wine fills any buffer; Windows refuses one that is not exactly the hash's length.
    const NTSTATUS status =
        contract(DWORD(digest.size()) == provider().hashLength, ERROR_INVALID_PARAMETER)
            ? BCryptFinishHash(state_->hash, reinterpret_cast<PUCHAR>(digest.data()),
                               ULONG(digest.size()), 0)
            : NTSTATUS(STATUS_INVALID_PARAMETER);
    check("BCryptFinishHash", status);
    return digest;
}

} // namespace tarsel::platform
