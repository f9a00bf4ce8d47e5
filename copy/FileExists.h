#pragma once

#include <QString>

namespace tarsel {

// Whether a directory search for `path` (its last part may hold the wildcards * and ?) finds an
// ordinary file: folders, hidden and system entries never count; read-only files do. A failed
// search or an empty path gives false; neither test ever throws.
bool FileExists(const QString& path);

// As FileExists, but folders count as well: true for an existing folder or ordinary file.
bool FolderExists(const QString& path);

} // namespace tarsel
