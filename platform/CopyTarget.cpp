#include "core/RunTimeError.h"
#include "platform/FileParts.h"

namespace tarsel::platform {

CopyTarget::CopyTarget(const OpenFile& source, const QString& path)
    : file_(parts::openCopyTarget(source, path)) {
    // The destructor does not run for a constructor that throws.
    try {
        parts::reserve(file_, lengthOf(source));
    } catch (const RunTimeError&) {
        parts::removeQuietly(file_.path());
        throw;
    }
}

CopyTarget::~CopyTarget() {
    if (!finished_)
        parts::removeQuietly(file_.path());
}

void CopyTarget::finish() {
    file_.close();
    finished_ = true;
}

} // namespace tarsel::platform
