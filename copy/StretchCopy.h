#pragma once

#include "platform/Files.h"

#include <QtGlobal>
#include <memory>

namespace tarsel {

// The length of a stretch: what the system copies in one call, at offsets that are multiples of
// it. Large, as the cost per call (a system call is dear in a virtual machine) is paid once per
// stretch, and small enough that one stretch takes about a millisecond, far below a yield's worth.
constexpr qint64 StretchSize = qint64(4) << 20;

// The length of a read and a write where the system cannot copy: a multiple of the page size, so
// that writes start and end on page boundaries, and small enough that the bytes are still in the
// processor's cache when they are written (measured on a 1 GiB copy: 4 MiB took about a fifth
// longer than 256 KiB; README, Benchmarks).
constexpr qint64 WritePage = 4096;
constexpr qint64 BufferedPiece = qint64(256) << 10;

// Copies `source` onto `target` from the start, a stretch at a time, behind a loop that counts the
// pieces it has taken: the system copies each stretch where it can (platform::systemCopy), and the
// rest goes through a buffer, which also names the file that failed when the system's copy did.
// flush() copies whatever is pending, of any length; pending bytes that are never flushed are never
// copied. Failures to write are RunTimeErrors, as from writeAt.
class StretchCopy {
public:
    // `total`: the length of the whole file, which bounds the buffer for small files.
    StretchCopy(const platform::OpenFile& source, const platform::OpenFile& target, qint64 total);

    // The next `length` bytes are part of the copy; copies every whole stretch there is. False
    // when the source ends sooner.
    bool add(qint64 length);

    // Copies every pending byte. False when the source ends sooner.
    bool flush();

private:
    bool copy(qint64 length);
    bool copyThroughBuffer(qint64 offset, qint64 length);

    const platform::OpenFile& source_;
    const platform::OpenFile& target_;
    const qint64 bufferSize_;
    std::unique_ptr<char[]> buffer_; // made when first needed
    bool systemCopies_ = true;       // until the system leaves a stretch short
    qint64 pending_ = 0;             // bytes taken, not yet copied
    qint64 copied_ = 0;              // always a multiple of StretchSize until the end
};

} // namespace tarsel
