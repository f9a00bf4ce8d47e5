#include "copy/ValidateFile.h"

#include "copy/HashingThread.h"
#include "copy/Percent.h"
#include "core/RunTimeError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace tarsel {

namespace {

// Each file is read a stretch at a time and compared block by block out of it: a read per block
// cost as much in system calls as the comparison itself (65,536 of them per GiB).
constexpr qint64 ReadStretch = qint64(1) << 20;

struct Side {
    const platform::OpenFile& file;
    // Where the file is a copy that is still reaching storage, it is read through this.
    platform::StoredCopy* stored = nullptr;
    // Where there is a digest, it takes the release's stretches as they are found equal.
    HashingThread* hashing = nullptr;
    HashingThread::Stretch stretch;
    qint64 from = 0; // where the stretch begins in the file
    qint64 held = 0; // the file's bytes in it: fewer where the file ends

    // The file's `length` bytes at `offset`, or nothing when the file ends sooner. Every byte
    // before `offset` was found equal.
    const char* bytesAt(qint64 offset, qint64 length) {
        if (stretch.empty() || offset < from || offset + length > from + held) {
            if (hashing) {
                handOver(offset);
                stretch = hashing->take();
            }
            stretch.resize(size_t(std::max(ReadStretch, length)));
            from = offset;
            held = stored ? stored->readAt(stretch.data(), qint64(stretch.size()), offset)
                          : platform::readAt(file, stretch.data(), qint64(stretch.size()), offset);
            if (length > held)
                return nullptr;
        }
        return stretch.data() + (offset - from);
    }

    // The stretch's bytes before `end`, all found equal, go to the digest.
    void handOver(qint64 end) {
        if (!stretch.empty())
            hashing->hash(std::move(stretch), end - from);
    }
};

// A file that ends early (it changed under us) does not compare equal.
bool sameBytes(Side& a, Side& b, qint64 length, qint64 offset) {
    const char* original = a.bytesAt(offset, length);
    const char* copy = b.bytesAt(offset, length);
    return original && copy && std::memcmp(original, copy, size_t(length)) == 0;
}

bool compare(const platform::OpenFile& source, const platform::OpenFile& target,
             platform::StoredCopy* stored, qint32 blockSize, CopyHost& host,
             platform::Sha256* digest) {
    if (blockSize <= 0)
        throw RunTimeError(ErrorKind::DivisionByZero, QStringLiteral("Division by zero"));
    // Stopped and joined on every way out, before the caller sees the digest again.
    std::optional<HashingThread> hashing;
    if (digest)
        hashing.emplace(*digest);
    Side original{source, nullptr, hashing ? &*hashing : nullptr, {}};
    Side copy{target, stored, nullptr, {}};
    const qint64 length = platform::lengthOf(original.file);
    if (platform::lengthOf(copy.file) != length)
        return false;

    const qint64 blocks = length / blockSize;
    for (qint64 i = 1; i <= blocks; ++i) {
        if (!sameBytes(original, copy, blockSize, (i - 1) * blockSize))
            return false;
        const double p = double(i * blockSize + 1);
        host.setProgress(wholePercent(std::abs(p / double(length) * 100.0 - 100.0)));
        host.yield();
        if (host.cancelled())
            return false;
    }
    if (!sameBytes(original, copy, length % blockSize, blocks * blockSize))
        return false;
    if (hashing) {
        original.handOver(length);
        hashing->finish();
    }
    return true;
}

} // namespace

bool ValidateFile(const platform::OpenFile& source, const platform::OpenFile& target,
                  qint32 blockSize, CopyHost& host, platform::Sha256* digest) {
    return compare(source, target, nullptr, blockSize, host, digest);
}

bool ValidateFile(const platform::OpenFile& source, platform::StoredCopy& target, qint32 blockSize,
                  CopyHost& host, platform::Sha256* digest) {
    return compare(source, target.file(), &target, blockSize, host, digest);
}

} // namespace tarsel
