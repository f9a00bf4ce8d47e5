#pragma once

#include "copy/CopyHost.h"
#include "platform/Files.h"

namespace tarsel {

// Offers a plain whole-file copy of the open `source`, too large for the block copy, into the
// empty open `target`, and makes it when the user agrees, without progress. A failed copy is
// reported in the error report. Returns true when the copy was made.
bool ALargeFile(const platform::OpenFile& source, const platform::OpenFile& target, CopyHost& host);

} // namespace tarsel
