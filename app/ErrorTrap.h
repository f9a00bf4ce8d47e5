#pragma once

#include "app/Dialogs.h"

namespace tarsel {

// Runs a handler's body under its error trap: a run-time error ends the body and shows the error
// report with the handler's tag; the caller carries on.
template <class Body> void trapped(Dialogs& dialogs, const QString& tag, Body&& body) {
    try {
        body();
    } catch (const RunTimeError& e) {
        showErrorReport(dialogs, e, tag);
    }
}

} // namespace tarsel
