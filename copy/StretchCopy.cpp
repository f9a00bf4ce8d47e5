#include "copy/StretchCopy.h"

#include <algorithm>

namespace tarsel {

static_assert(StretchSize % BufferedPiece == 0 && BufferedPiece % WritePage == 0);

StretchCopy::StretchCopy(const platform::OpenFile& source, const platform::OpenFile& target,
                         qint64 total)
    : source_(source), target_(target), bufferSize_(std::clamp<qint64>(total, 1, BufferedPiece)) {}

bool StretchCopy::add(qint64 length) {
    pending_ += length;
    while (pending_ >= StretchSize)
        if (!copy(StretchSize))
            return false;
    return true;
}

bool StretchCopy::flush() {
    return copy(pending_);
}

// Copies the first `length` pending bytes. The system leaves a stretch short where the source
// ends, where it cannot copy between the two files at all, or where it failed; the buffer then
// tells which, and names the file at fault.
bool StretchCopy::copy(qint64 length) {
    qint64 done = 0;
    if (systemCopies_) {
        done = platform::systemCopy(source_, target_, copied_, length);
        systemCopies_ = done == length;
    }
    if (done < length && !copyThroughBuffer(copied_ + done, length - done))
        return false;
    copied_ += length;
    pending_ -= length;
    return true;
}

bool StretchCopy::copyThroughBuffer(qint64 offset, qint64 length) {
    if (!buffer_)
        buffer_.reset(new char[size_t(bufferSize_)]);
    for (qint64 done = 0; done < length;) {
        // Pieces end on multiples of their length, so writes cover whole pages whatever the
        // system copied before.
        const qint64 at = offset + done;
        const qint64 piece = std::min(length - done, bufferSize_ - at % bufferSize_);
        const qint64 read = platform::readAt(source_, buffer_.get(), piece, at);
        platform::writeAt(target_, buffer_.get(), read, at);
        if (read != piece)
            return false;
        done += piece;
    }
    return true;
}

} // namespace tarsel
