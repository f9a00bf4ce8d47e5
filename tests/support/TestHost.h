#pragma once

#include <QString>

// What the tests do differently on each system; tests/platform/<os>/support/TestHost.cpp holds the
// system's own way.
namespace tarsel::test {

// Makes a FIFO at `path`; false where the system has none.
bool makeFifo(const QString& path);

// Open descriptors or handles of this process, to show that a failure path closed what it opened.
qsizetype openHandleCount();

} // namespace tarsel::test
