#include "app/ErrorTrap.h"
#include "app/frmCopyRoutine.h"
#include "copy/FileExists.h"
#include "core/Clock.h"
#include "filetime/GeneralDate.h"
#include "settings/Module1.h"

#include <QLineEdit>
#include <QPushButton>

namespace tarsel {

void frmCopyRoutine::txtSource_Change() {
    trapped(dialogs_, QStringLiteral("(txtSource_Change) of (frmCopyRoutine)."), [this] {
        FileAndFolderExist();
        if (!txtSource->text().isEmpty())
            showSourceDates();
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, NewVersionLocation, txtSource->text());
    });
}

// Unlike the source, a typed target is not checked: it may name a file that does not exist yet.
void frmCopyRoutine::txtTarget_Change() {
    trapped(dialogs_, QStringLiteral("(txtTarget_Change) of (frmCopyRoutine)."), [this] {
        if (BrowsingForFolder)
            FileAndFolderExist();
        else
            cmdCopy->setEnabled(true);
        putText(DestinationDate, GeneralDateText(nowLocal()));
        RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, RunningVersionLocation, txtTarget->text());
    });
}

void frmCopyRoutine::FileAndFolderExist() {
    trapped(dialogs_, QStringLiteral("(FileAndFolderExist) of (frmCopyRoutine)."), [this] {
        const QString source = txtSource->text();
        const QString target = txtTarget->text();
        if (source.isEmpty() && target.isEmpty()) {
            cmdCopy->setEnabled(false);
            return;
        }
        const bool sourceFound = FileExists(source);
        const bool targetFound = FolderExists(target);
        cmdCopy->setEnabled(sourceFound && targetFound);
    });
}

} // namespace tarsel
