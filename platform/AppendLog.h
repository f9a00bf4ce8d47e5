#pragma once

#include <QByteArray>
#include <QString>

namespace tarsel::platform {

// Appends `line` (complete, with its '\n') to the file, which is made when missing. One write at
// the file's end, so that lines that many processes append to one file (also from other computers,
// on a Windows share) never mix. Anything but a regular file (a FIFO, a device, a folder) is
// refused at once, without waiting for a reader. Throws RunTimeError when the line could not be
// written whole.
void appendLine(const QString& path, const QByteArray& line);

} // namespace tarsel::platform
