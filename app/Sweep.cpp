#include "app/frmCopyRoutine.h"

namespace tarsel {

void frmCopyRoutine::Timer1_Timer() {
    sweep_.Timer1_Timer();
}

void frmCopyRoutine::reportError(const RunTimeError& e, const QString& tag) {
    showErrorReport(dialogs_, e, tag);
}

} // namespace tarsel
