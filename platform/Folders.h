#pragma once

#include <QString>

namespace tarsel::platform {

// Creates `folder` and whichever of its parents are missing, each with the rights a new folder
// gets where it is made (Linux: the umask; Windows: the ACL its parent hands down). Returns the
// outermost folder this call created, empty where `folder` was already there. Throws a
// RunTimeError naming the folder that could not be made.
QString createMissingFolders(const QString& folder);

// What createMissingFolders() needs of each system: whether anything at all is at `path` (a
// dangling link counts: it is in the way), and making one folder, false where a folder came there
// meanwhile (another run making it too).
bool entryExists(const QString& path);
bool makeFolder(const QString& path);

} // namespace tarsel::platform
