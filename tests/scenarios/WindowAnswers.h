#pragma once

#include "app/frmCopyRoutine.h"

#include <QCoreApplication>
#include <QTimer>

namespace tarsel::test {

// True when the window's thread still handles a posted event and the sweep's timer still runs:
// the program neither hangs nor has stopped ending Access.
inline bool stillAnswers(const frmCopyRoutine& window) {
    bool handled = false;
    QTimer::singleShot(0, &window, [&handled] { handled = true; });
    QCoreApplication::processEvents();
    return handled && window.Timer1->isActive();
}

} // namespace tarsel::test
