#include "support/TestHost.h"

#include "support/TestHostParts.h"

#include <QDir>
#include <QFile>
#include <QUuid>

// The half of the tests' host that every system shares; tests/platform/<os>/support/TestHost.cpp
// holds each system's own.
namespace tarsel::test {

bool changeOwner(const QString& path, uint id) {
    return changeOwner(path, id, id);
}

namespace parts {

ProbeFile::ProbeFile(const QString& folder)
    : path_(QDir(folder.isEmpty() ? QDir::tempPath() : folder)
                .filePath(QStringLiteral("probe-") +
                          QUuid::createUuid().toString(QUuid::WithoutBraces))),
      handle_(createNewFile(path_)) {}

ProbeFile::~ProbeFile() {
    if (handle_ != -1) {
        closeSystemHandle(handle_);
        QFile::remove(path_);
    }
}

} // namespace parts

HeldFile::~HeldFile() {
    if (handle_ != -1)
        parts::closeSystemHandle(handle_);
}

QString StandInOpener::standInExtension() {
    return QStringLiteral(".tarselopen");
}

} // namespace tarsel::test
