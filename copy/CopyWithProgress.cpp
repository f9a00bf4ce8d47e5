#include "copy/CopyWithProgress.h"

#include "copy/ALargeFile.h"
#include "copy/GatheredWriter.h"
#include "copy/Percent.h"

#include <algorithm>
#include <exception>

namespace tarsel {

namespace {

// Reads the next `length` bytes of the source into the writer, which writes them out in large
// page-aligned pieces. False when the source ends sooner: it was shortened while being copied.
bool copyBlock(const platform::OpenFile& in, GatheredWriter& out, qint64 length) {
    if (platform::readAt(in, out.space(), length, out.offset()) != length)
        return false;
    out.add(length);
    return true;
}

// True when the copy was made. A copy that stops early leaves its gathered bytes unwritten.
bool copyInBlocks(const platform::OpenFile& in, const platform::OpenFile& out, qint64 length,
                  qint32 blockSize, CopyHost& host) {
    const qint64 blocks = length / blockSize;
    GatheredWriter writer(out, std::min<qint64>(blockSize, length), length);
    for (qint64 i = 1; i <= blocks; ++i) {
        if (!copyBlock(in, writer, blockSize))
            return false;
        // The bar shows 100 only once every full block is in the file, as when each was written
        // on its own.
        if (i == blocks)
            writer.flush();
        host.setProgress(wholePercent(double(i) / double(blocks) * 100.0));
        host.yield();
        if (host.cancelled())
            return false;
    }
    if (!copyBlock(in, writer, length % blockSize))
        return false;
    writer.flush();
    host.setProgress(100);
    return true;
}

} // namespace

void copyReleaseInto(const platform::OpenFile& source, const platform::OpenFile& target,
                     qint32 blockSize, CopyHost& host) {
    const auto stopIfCancelled = [&] {
        if (host.cancelled())
            throw RunTimeError(ErrNo::UserInterrupt, QStringLiteral("User interrupt occurred"));
    };
    host.setProgress(0);
    host.yield();
    stopIfCancelled();
    const qint64 length = platform::lengthOf(source);
    if (length >= LargeFileSize) {
        if (!ALargeFile(source, target, host))
            throw RunTimeError(ErrNo::DeviceIO,
                               QStringLiteral("No whole-file copy was made of ") + source.path());
    } else if (blockSize <= 0) {
        throw RunTimeError(ErrNo::InvalidProcedureCall,
                           QStringLiteral("Invalid procedure call or argument"));
    } else if (!copyInBlocks(source, target, length, blockSize, host)) {
        stopIfCancelled();
        throw RunTimeError(ErrNo::DeviceIO,
                           source.path() + QStringLiteral(" ended sooner than it did when "
                                                          "opened: it changed while being "
                                                          "copied"));
    }
    // The copy is complete; a cancel from here on no longer undoes it.
    host.yield();
}

bool CopyWithProgress(const platform::OpenFile& source, const platform::OpenFile& target,
                      qint32 blockSize, CopyHost& host) {
    try {
        copyReleaseInto(source, target, blockSize, host);
        return false;
    } catch (const std::exception&) {
        return true;
    }
}

bool CopyWithProgress(const QString& source, const QString& target, qint32 blockSize,
                      CopyHost& host) {
    try {
        const platform::OpenFile in = platform::openForReading(source);
        platform::CopyTarget out(in, target);
        if (CopyWithProgress(in, out.file(), blockSize, host))
            return true;
        out.finish();
        return false;
    } catch (const std::exception&) {
        return true;
    }
}

} // namespace tarsel
