#include "copy/GatheredWriter.h"

#include <algorithm>
#include <cstring>

namespace tarsel {

static_assert(GatheredWriteSize % WritePage == 0);

// Pending bytes stay below GatheredWriteSize between adds, so one more piece always fits.
GatheredWriter::GatheredWriter(const platform::OpenFile& file, qint64 maxPiece, qint64 total)
    : file_(file),
      buffer_(new char[size_t(std::max<qint64>(
          1, std::min(GatheredWriteSize + maxPiece, std::max<qint64>(total, maxPiece))))]) {}

void GatheredWriter::add(qint64 length) {
    pending_ += length;
    while (pending_ >= GatheredWriteSize)
        write(GatheredWriteSize);
}

void GatheredWriter::flush() {
    write(pending_);
}

// Writes the first `length` pending bytes and moves the rest to the front.
void GatheredWriter::write(qint64 length) {
    if (length == 0)
        return;
    platform::writeAt(file_, buffer_.get(), length, written_);
    written_ += length;
    pending_ -= length;
    std::memmove(buffer_.get(), buffer_.get() + length, size_t(pending_));
}

} // namespace tarsel
