#pragma once

#include "copy/CopyHost.h"

#include <QString>

namespace tarsel {

// Offers a plain whole-file copy for a source too large for the block copy and makes it when the
// user agrees, without progress. A failed copy is reported in the error report and leaves no file
// at the target. Returns true when the copy was made.
bool ALargeFile(const QString& source, const QString& target, CopyHost& host);

} // namespace tarsel
