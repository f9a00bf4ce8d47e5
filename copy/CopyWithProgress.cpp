#include "copy/CopyWithProgress.h"

#include "copy/ALargeFile.h"
#include "copy/BlockCopy.h"

namespace tarsel {

void CopyWithProgress(const platform::OpenFile& source, const platform::OpenFile& target,
                      qint32 blockSize, CopyHost& host) {
    host.setProgress(0);
    host.yield();
    if (host.cancelled())
        throw userInterrupt();
    const qint64 length = platform::lengthOf(source);
    if (length >= LargeFileSize) {
        if (!ALargeFile(source, target, host))
            throw RunTimeError(ErrorKind::DeviceIO,
                               QStringLiteral("No whole-file copy was made of ") + source.path());
    } else if (blockSize <= 0) {
        throw RunTimeError(ErrorKind::InvalidProcedureCall,
                           QStringLiteral("Invalid procedure call or argument"));
    } else {
        copyInBlocks(source, target, length, blockSize, host, Progress::Shown);
    }
    // The copy is complete; a cancel from here on no longer undoes it.
    host.yield();
}

} // namespace tarsel
