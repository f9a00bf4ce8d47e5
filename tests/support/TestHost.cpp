#include "support/TestHost.h"

// The half of the tests' host that every system shares; tests/platform/<os>/support/TestHost.cpp
// holds each system's own.
namespace tarsel::test {

bool changeOwner(const QString& path, uint id) {
    return changeOwner(path, id, id);
}

QString StandInOpener::standInExtension() {
    return QStringLiteral(".tarselopen");
}

} // namespace tarsel::test
