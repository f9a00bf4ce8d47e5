#pragma once

#include "console/TarselCopy.h"
#include "core/MessageBoxes.h"

#include <QString>

namespace tarsel::console {

// What the windowless program, started from a shortcut with no console to read, tells of a run:
// nothing where it brought its user to work (the release in service and opened where asked, or
// the version in place opened after a failure) or where the run was cancelled (by the user or the
// session's end); otherwise the error line and what to do, in CR LF lines. Empty: nothing to tell.
QString windowlessNotice(const RunEnd& end);

// Shows the notice, where there is one, in one message box with the critical icon.
void tellWindowless(const RunEnd& end, MessageBoxes& boxes);

} // namespace tarsel::console
