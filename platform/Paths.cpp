#include "platform/Paths.h"

namespace tarsel::platform {

QString fileNameOf(const QString& path) {
    return path.mid(lastSeparator(path) + 1);
}

QString folderOf(const QString& path) {
    return path.left(lastSeparator(path) + 1);
}

} // namespace tarsel::platform
