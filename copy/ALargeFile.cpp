#include "copy/ALargeFile.h"

#include "copy/BlockCopy.h"
#include "copy/RunFailure.h"
#include "copy/StretchCopy.h"

namespace tarsel {

bool ALargeFile(const platform::OpenFile& source, const platform::OpenFile& target,
                CopyHost& host) {
    if (!host.confirmWholeFileCopy(source.path()))
        return false;
    try {
        // A block a stretch long: one system copy and one yield per stretch.
        copyInBlocks(source, target, platform::lengthOf(source), qint32(StretchSize), host,
                     Progress::Hidden);
    } catch (const RunTimeError& e) {
        if (e.kind() == ErrorKind::UserInterrupt)
            throw;
        throw RunFailure(RunStage::WholeCopy, e);
    }
    return true;
}

} // namespace tarsel
