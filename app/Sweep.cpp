#include "app/frmCopyRoutine.h"

#include <QLabel>

namespace tarsel {

void frmCopyRoutine::Timer1_Timer() {
    sweep_.Timer1_Timer();
}

void frmCopyRoutine::swept() {
    Label2->setText(QStringLiteral("Ready For Copy......."));
}

void frmCopyRoutine::sweepFailed(const RunTimeError& e) {
    showErrorReport(dialogs_, e, QStringLiteral("(Timer1_Timer) of (frmCopyRoutine)."));
}

} // namespace tarsel
