#pragma once

#include <QChar>
#include <QString>

namespace tarsel::platform {

// Where a path's last folder separator stands, -1 when it has none: its file name is what follows.
// Windows takes '\' and '/' alike; Linux only '/'.
qsizetype lastSeparator(const QString& path);

// The separator that joins a folder and a name.
QChar separator();

// Whether two file names name the same file in one folder: exactly the same on Linux, the same but
// for case on Windows.
bool sameFileName(const QString& a, const QString& b);

} // namespace tarsel::platform
