#pragma once

#include <QtGlobal>

namespace tarsel {

// Names one of a file's three time stamps. Callers may pass any other value, which names none.
enum FileDateKind : qint32 { Created = 0, Modified = 1, Accessed = 2 };

} // namespace tarsel
