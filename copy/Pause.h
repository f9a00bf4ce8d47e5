#pragma once

#include "core/Yielder.h"

#include <QString>

namespace tarsel {

// Waits the number of seconds that `seconds` begins with ("1.5", " 2x"; a text that does not begin
// with a number counts as 0), yielding again and again meanwhile and sleeping a few milliseconds
// between yields. A count of 0 or less returns at once without yielding.
void Pause(const QString& seconds, Yielder& yielder);

} // namespace tarsel
