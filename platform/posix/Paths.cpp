#include "platform/Paths.h"

namespace tarsel::platform {

qsizetype lastSeparator(const QString& path) {
    return path.lastIndexOf(u'/');
}

QChar separator() {
    return u'/';
}

bool sameFileName(const QString& a, const QString& b) {
    return a == b;
}

} // namespace tarsel::platform
