#include "app/ErrorTrap.h"
#include "app/frmCopyRoutine.h"

#include <QEvent>
#include <QLineEdit>

namespace tarsel {

// The hint follows the text only when the pointer moves over the box, not when the text changes.
bool frmCopyRoutine::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (watched == txtSource)
            txtSource_MouseMove();
        else if (watched == txtTarget)
            txtTarget_MouseMove();
    }
    return QWidget::eventFilter(watched, event);
}

void frmCopyRoutine::txtSource_MouseMove() {
    trapped(dialogs_, QStringLiteral("(txtSource_MouseMove) of (frmCopyRoutine)."),
            [this] { txtSource->setToolTip(txtSource->text()); });
}

void frmCopyRoutine::txtTarget_MouseMove() {
    trapped(dialogs_, QStringLiteral("(txtTarget_MouseMove) of (frmCopyRoutine)."),
            [this] { txtTarget->setToolTip(txtTarget->text()); });
}

} // namespace tarsel
