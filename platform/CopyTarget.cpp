#include "core/RunTimeError.h"
#include "platform/FileParts.h"

#include <vector>

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

void parts::copyRest(const OpenFile& in, const OpenFile& out, qint64 offset) {
    std::vector<char> buffer(1 << 20);
    while (const qint64 n = readAt(in, buffer.data(), qint64(buffer.size()), offset)) {
        writeAt(out, buffer.data(), n, offset);
        offset += n;
    }
}

} // namespace tarsel::platform
