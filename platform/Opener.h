#pragma once

#include <QString>

namespace tarsel::platform {

// Opens the file with the program the system associates with it, without waiting for that program
// to end; the file must exist. Throws RunTimeError when no program could be started for it.
void openWithAssociatedProgram(const QString& path);

} // namespace tarsel::platform
