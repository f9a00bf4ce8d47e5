#include "copy/BlockCopy.h"

#include "copy/Percent.h"
#include "copy/StretchCopy.h"

namespace tarsel {

namespace {

RunTimeError endedSooner(const platform::OpenFile& source) {
    return RunTimeError(ErrorKind::DeviceIO,
                        source.path() + QStringLiteral(" ended sooner than it did when opened: it "
                                                       "changed while being copied"));
}

} // namespace

void copyInBlocks(const platform::OpenFile& source, const platform::OpenFile& target, qint64 length,
                  qint32 blockSize, CopyHost& host, Progress progress) {
    const qint64 blocks = length / blockSize;
    StretchCopy copy(source, target, length);
    for (qint64 i = 1; i <= blocks; ++i) {
        if (!copy.add(blockSize))
            throw endedSooner(source);
        // The bar shows 100 only once every full block is in the file, as when each was copied
        // on its own.
        if (i == blocks && !copy.flush())
            throw endedSooner(source);
        if (progress == Progress::Shown)
            host.setProgress(wholePercent(double(i) / double(blocks) * 100.0));
        host.yield();
        if (host.cancelled())
            throw userInterrupt();
    }
    if (!copy.add(length % blockSize) || !copy.flush())
        throw endedSooner(source);
    if (progress == Progress::Shown)
        host.setProgress(100);
}

} // namespace tarsel
