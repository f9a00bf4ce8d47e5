#include "platform/AppendLog.h"

namespace tarsel::platform {

void appendLine(const QString& path, const QByteArray& line) {
    AppendLog log(path);
    log.append(line);
    log.close();
}

} // namespace tarsel::platform
