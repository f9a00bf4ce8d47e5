#pragma once

#include <QChar>
#include <QString>

namespace tarsel::platform {

// Where a path's last folder separator stands, -1 when it has none: its file name is what follows.
// Windows takes '\' and '/' alike; Linux only '/'.
qsizetype lastSeparator(const QString& path);

// The file name of a path: what follows its last separator; the whole path when it has none, empty
// when it ends in a separator.
QString fileNameOf(const QString& path);

// The folder of a path as written, its trailing separator kept, so that folderOf(p) + fileNameOf(p)
// is p again and a name can be put after it as it is: "/" and "C:\" and "\\server\share\" stay
// whole; empty for a bare name, which callers that open the folder take as the current one.
QString folderOf(const QString& path);

// The separator that joins a folder and a name.
QChar separator();

// Whether two file names name the same entry of a folder: case counts on Linux, not on Windows.
bool sameFileName(const QString& a, const QString& b);

} // namespace tarsel::platform
