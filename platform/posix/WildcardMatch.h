#pragma once

#include <QString>

namespace tarsel::platform {

// The name match of the directory search, as Windows' search matches: `*` any run of
// characters, `?` exactly one, case counted, and a trailing ".*" also matches a name without a dot.
bool wildcardMatch(const QString& pattern, const QString& name);

} // namespace tarsel::platform
