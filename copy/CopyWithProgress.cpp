#include "copy/CopyWithProgress.h"

#include "copy/ALargeFile.h"
#include "copy/Percent.h"
#include "platform/Files.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace tarsel {

namespace {

// False when the source ends before `length` bytes: it was shortened while being copied.
bool copyBlock(const platform::OpenFile& in, const platform::OpenFile& out,
               std::vector<char>& buffer, qint64 length, qint64 offset) {
    if (platform::readAt(in, buffer.data(), length, offset) != length)
        return false;
    platform::writeAt(out, buffer.data(), length, offset);
    return true;
}

// True when the copy was made; both files are closed on return.
bool copyInBlocks(const QString& source, const QString& target, qint32 blockSize, CopyHost& host) {
    const platform::OpenFile in = platform::openForReading(source);
    platform::CopyTarget out(in, target);
    const qint64 length = platform::lengthOf(in);
    const qint64 blocks = length / blockSize;
    std::vector<char> buffer(std::min<qint64>(blockSize, length));
    for (qint64 i = 1; i <= blocks; ++i) {
        if (!copyBlock(in, out.file(), buffer, blockSize, (i - 1) * blockSize))
            return false;
        host.setProgress(wholePercent(double(i) / double(blocks) * 100.0));
        host.yield();
        if (host.cancelled())
            return false;
    }
    if (!copyBlock(in, out.file(), buffer, length % blockSize, blocks * blockSize))
        return false;
    host.setProgress(100);
    out.finish();
    return true;
}

} // namespace

bool CopyWithProgress(const QString& source, const QString& target, qint32 blockSize,
                      CopyHost& host) {
    host.setProgress(0);
    host.yield();
    if (host.cancelled())
        return true;
    try {
        if (platform::fileLength(source) >= LargeFileSize)
            return !ALargeFile(source, target, host);
        if (blockSize <= 0 || !copyInBlocks(source, target, blockSize, host))
            return true;
    } catch (const std::exception&) {
        return true;
    }
    // The copy is complete and closed; a cancel from here on no longer undoes it.
    host.yield();
    return false;
}

} // namespace tarsel
