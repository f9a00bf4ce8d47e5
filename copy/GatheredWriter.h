#pragma once

#include "platform/Files.h"

#include <QtGlobal>
#include <memory>

namespace tarsel {

// The page size that writes line up with, and the length of a gathered write: a multiple of the
// page size, large enough to save most of the cost per write, and small enough that the bytes
// are still in the processor's cache when they are written (measured on a 1 GiB copy: 4 MiB
// took about a fifth longer than 256 KiB; README, Benchmarks).
constexpr qint64 WritePage = 4096;
constexpr qint64 GatheredWriteSize = qint64(256) << 10;

// Gathers pieces written one after the other from the start of `file` and writes them out
// GatheredWriteSize bytes at a time, so that these writes start and end on page boundaries,
// whatever the length of the pieces. flush() writes whatever is pending, of any length; pending
// bytes that are never flushed are never written. Write failures are RunTimeErrors, as from
// writeAt.
class GatheredWriter {
public:
    // `maxPiece`: the longest piece ever added; `total`: the length of the whole file, which
    // bounds the buffer for small files.
    GatheredWriter(const platform::OpenFile& file, qint64 maxPiece, qint64 total);

    // Where the next piece goes: room for `maxPiece` bytes.
    char* space() { return buffer_.get() + pending_; }

    // The next `length` bytes put at space() are part of the file; writes every full
    // GatheredWriteSize there is.
    void add(qint64 length);

    // Writes every pending byte.
    void flush();

    // The file offset of the next piece.
    qint64 offset() const { return written_ + pending_; }

private:
    void write(qint64 length);

    const platform::OpenFile& file_;
    std::unique_ptr<char[]> buffer_;
    qint64 pending_ = 0; // bytes in the buffer, not yet written
    qint64 written_ = 0; // bytes written, always a multiple of GatheredWriteSize until the end
};

} // namespace tarsel
