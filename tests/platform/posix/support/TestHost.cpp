#include "support/TestHost.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace tarsel::test {

bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

qsizetype openHandleCount() {
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System).size();
}

} // namespace tarsel::test
