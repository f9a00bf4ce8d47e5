#include "copy/CopyWithProgress.h"

#include "copy/ALargeFile.h"
#include "copy/Percent.h"
#include "copy/StretchCopy.h"

#include <exception>

namespace tarsel {

namespace {

// True when the copy was made. A copy that stops early leaves its pending bytes uncopied.
bool copyInBlocks(const platform::OpenFile& in, const platform::OpenFile& out, qint64 length,
                  qint32 blockSize, CopyHost& host) {
    const qint64 blocks = length / blockSize;
    StretchCopy copy(in, out, length);
    for (qint64 i = 1; i <= blocks; ++i) {
        if (!copy.add(blockSize))
            return false;
        // The bar shows 100 only once every full block is in the file, as when each was copied
        // on its own.
        if (i == blocks && !copy.flush())
            return false;
        host.setProgress(wholePercent(double(i) / double(blocks) * 100.0));
        host.yield();
        if (host.cancelled())
            return false;
    }
    if (!copy.add(length % blockSize) || !copy.flush())
        return false;
    host.setProgress(100);
    return true;
}

} // namespace

void copyReleaseInto(const platform::OpenFile& source, const platform::OpenFile& target,
                     qint32 blockSize, CopyHost& host) {
    const auto stopIfCancelled = [&] {
        if (host.cancelled())
            throw userInterrupt();
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
