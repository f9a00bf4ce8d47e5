#pragma once

#include <QString>

namespace tarsel {

// True when the file at `target` already is the release at `source` as a run leaves it: a regular
// file of the same length, and then, where both have a .sha256 that gives a digest, the same
// digest; otherwise a creation date that is the release's modification date plus one minute.
// Reads the two files' directory entries and their .sha256 files only, never their bytes: Access
// writes into a front end as it is used, so its bytes cannot be the test.
bool AlreadyInService(const QString& source, const QString& target);

} // namespace tarsel
