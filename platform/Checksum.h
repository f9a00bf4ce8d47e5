#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

namespace tarsel::platform {

// SHA-256 through the system's own implementation (libcrypto on Linux, CNG on Windows), which uses
// the processor's SHA instructions where it has them. Every failure is a RunTimeError
// (ErrorKind::DigestFailed) that names the call and the system's reason.
class Sha256 {
public:
    // Throws when the system's implementation cannot be set up.
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    static constexpr qsizetype DigestLength = 32;

    // Adds `length` bytes, any number (none, or more than 4 GiB, at once).
    void add(const char* bytes, qint64 length);

    // The digest of everything added since the object was made or last finished; the object then
    // starts afresh, as if just made.
    QByteArray finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace tarsel::platform
