#include "app/ErrorTrap.h"
#include "app/frmCopyRoutine.h"
#include "filetime/FileDateKind.h"
#include "filetime/GeneralDate.h"
#include "filetime/ReadFileDate.h"
#include "settings/Module1.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace tarsel {

void frmCopyRoutine::Form_Load() {
    trapped(dialogs_, QStringLiteral("(Form_Load) of (frmCopyRoutine)."), [this] {
        putText(txtTarget, RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, RunningVersionLocation)
                               .value_or(QString()));
        putText(txtSource, RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, NewVersionLocation)
                               .value_or(QString()));
        if (!txtSource->text().isEmpty()) {
            putText(DestinationDate, sourceDateText(Modified));
            showSourceDates();
        }
        for (QWidget* control : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame1),
                                 static_cast<QWidget*>(Frame2), static_cast<QWidget*>(cmdCopy),
                                 static_cast<QWidget*>(chkVerify)}) {
            control->setBackgroundRole(QPalette::Button);
            control->setAutoFillBackground(true);
        }
        BlockSize = 32767;
    });
}

QString frmCopyRoutine::sourceDateText(FileDateKind kind) {
    return GeneralDateText(ReadFileDate(records, txtSource->text(), kind));
}

void frmCopyRoutine::showSourceDates() {
    putText(SourceCreatedDate, sourceDateText(Created));
    putText(SourceModifiedDate, sourceDateText(Modified));
    putText(SourceAccessedDate, sourceDateText(Accessed));
}

} // namespace tarsel
