#include "platform/Paths.h"

namespace tarsel::platform {

qsizetype lastSeparator(const QString& path) {
    return std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
}

QChar separator() {
    return u'\\';
}

bool sameFileName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace tarsel::platform
