#pragma once

#include <QString>

namespace tarsel {

// True when the file at `target` already is the release at `source` as a run leaves it: a regular
// file of the same length whose creation date is the release's modification date plus one minute.
// Reads the two files' directory entries only, never their bytes.
bool AlreadyInService(const QString& source, const QString& target);

} // namespace tarsel
