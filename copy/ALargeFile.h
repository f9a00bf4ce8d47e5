#pragma once

#include "copy/CopyHost.h"
#include "platform/Files.h"

namespace tarsel {

// Offers the host a plain whole-file copy of the open `source`, too large for the block copy, into
// the empty open `target`, and makes it when the host agrees: without progress, but yielding after
// every stretch, so that a face stays alive and a cancel takes effect within moments. Returns false
// when the host declined. Throws userInterrupt() when the host cancelled, and a RunFailure at
// RunStage::WholeCopy with the cause when the copy failed.
bool ALargeFile(const platform::OpenFile& source, const platform::OpenFile& target, CopyHost& host);

} // namespace tarsel
