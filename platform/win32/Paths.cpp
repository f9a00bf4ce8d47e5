#include "platform/Paths.h"

namespace tarsel::platform {

qsizetype lastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
}

QChar separator() {
    return u'\\';
}

} // namespace tarsel::platform
