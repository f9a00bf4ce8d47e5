#include "copy/ValidateFile.h"

#include "copy/Percent.h"
#include "core/RunTimeError.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tarsel {

namespace {

struct Side {
    const platform::OpenFile& file;
    std::vector<char> buffer;
};

// A file that ends early (it changed under us) does not compare equal.
bool sameBytes(Side& a, Side& b, qint64 length, qint64 offset, platform::Sha256* digest) {
    const bool same = platform::readAt(a.file, a.buffer.data(), length, offset) == length &&
                      platform::readAt(b.file, b.buffer.data(), length, offset) == length &&
                      std::memcmp(a.buffer.data(), b.buffer.data(), size_t(length)) == 0;
    if (same && digest)
        digest->add(a.buffer.data(), length);
    return same;
}

} // namespace

bool ValidateFile(const platform::OpenFile& source, const platform::OpenFile& target,
                  qint32 blockSize, CopyHost& host, platform::Sha256* digest) {
    if (blockSize <= 0)
        throw RunTimeError(ErrNo::DivisionByZero, QStringLiteral("Division by zero"));
    Side original{source, {}};
    Side copy{target, {}};
    const qint64 length = platform::lengthOf(original.file);
    if (platform::lengthOf(copy.file) != length)
        return false;
    original.buffer.resize(std::min<qint64>(blockSize, length));
    copy.buffer.resize(original.buffer.size());

    const qint64 blocks = length / blockSize;
    for (qint64 i = 1; i <= blocks; ++i) {
        if (!sameBytes(original, copy, blockSize, (i - 1) * blockSize, digest))
            return false;
        const double p = double(i * blockSize + 1);
        host.setProgress(wholePercent(std::abs(p / double(length) * 100.0 - 100.0)));
        host.yield();
        if (host.cancelled())
            return false;
    }
    return sameBytes(original, copy, length % blockSize, blocks * blockSize, digest);
}

} // namespace tarsel
