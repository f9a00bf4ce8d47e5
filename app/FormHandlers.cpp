// The window's event handlers: start-up, the enabled state of the action controls, path entry and
// its checks, browsing for paths, hover hints, and the sweep's news. The copy's own handler and the
// run's face are in frmCopyRoutine.cpp and ReleaseWorkflow.cpp.

#include "app/ErrorTrap.h"
#include "app/frmCopyRoutine.h"
#include "copy/FileExists.h"
#include "core/Clock.h"
#include "filetime/FileDateKind.h"
#include "filetime/GeneralDate.h"
#include "filetime/ReadFileDate.h"
#include "platform/Paths.h"
#include "settings/Module1.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarsel {

namespace {

// The separator's position is a signed 16-bit number in the window's own records: a position, or
// the one after it, that does not fit ends the browse before anything is asked.
constexpr qsizetype LastSeparatorLimit = 32766;

} // namespace

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

void frmCopyRoutine::SetEnabled(bool enabled) {
    trapped(dialogs_, QStringLiteral("(SetEnabled) of (frmCopyRoutine)."), [&] {
        cmdCopy->setEnabled(enabled);
        cmdPath[0]->setEnabled(enabled);
        cmdPath[1]->setEnabled(enabled);
        chkVerify->setEnabled(enabled);
    });
}

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

// A failed or cancelled browse ends without a word; what was done so far stays done.
void frmCopyRoutine::cmdPath_Click(int index) {
    if (index == 0) {
        const QString chosen = dialogs_.showOpen(QStringLiteral("Select your source file to copy"),
                                                 QStringLiteral("*.*"), QStringLiteral("*.*"));
        putText(txtSource, chosen);
        if (txtSource->text() == QLatin1String("*.*"))
            putText(txtSource, QString());
    } else if (index == 1) {
        BrowsingForFolder = true;
        const QString source = txtSource->text();
        const qsizetype separator = platform::lastSeparator(source) + 1;
        if (separator > LastSeparatorLimit)
            return;
        const QString fileName = source.mid(separator);
        const std::optional<QString> folder =
            dialogs_.browseForFolder(QStringLiteral("Select a Folder"));
        if (!folder)
            return;
        putText(txtTarget, *folder);
        BrowsingForFolder = false;
        putText(txtTarget, txtTarget->text() + platform::separator() + fileName);
    }
}

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

void frmCopyRoutine::Timer1_Timer() {
    sweep_.tick();
}

void frmCopyRoutine::swept() {
    Label2->setText(QStringLiteral("Ready For Copy......."));
}

void frmCopyRoutine::sweepFailed(const RunTimeError& e) {
    showErrorReport(dialogs_, e, QStringLiteral("(Timer1_Timer) of (frmCopyRoutine)."));
}

} // namespace tarsel
