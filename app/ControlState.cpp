#include "app/ErrorTrap.h"
#include "app/frmCopyRoutine.h"

#include <QCheckBox>
#include <QPushButton>

namespace tarsel {

void frmCopyRoutine::SetEnabled(bool enabled) {
    trapped(dialogs_, QStringLiteral("(SetEnabled) of (frmCopyRoutine)."), [&] {
        cmdCopy->setEnabled(enabled);
        cmdPath[0]->setEnabled(enabled);
        cmdPath[1]->setEnabled(enabled);
        chkVerify->setEnabled(enabled);
    });
}

} // namespace tarsel
