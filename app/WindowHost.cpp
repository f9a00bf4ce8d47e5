// The window as its release run sees it: the Copy button's handler, closing during a run, ending
// the program, and the accessors of ReleaseHost.

#include "app/frmCopyRoutine.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>

namespace tarsel {

void frmCopyRoutine::cmdCopy_Click() {
    workflow_.cmdCopy_Click();
    // The window was closed during the run: the run has cleaned up after itself, now the program
    // ends.
    if (closing_ && !workflow_.running())
        endProgram();
}

// Closing the window during a run cancels the run first; the program ends when it has unwound.
void frmCopyRoutine::closeEvent(QCloseEvent* event) {
    if (workflow_.running()) {
        closing_ = true;
        event->ignore();
        return;
    }
    Timer1->stop();
    QWidget::closeEvent(event);
}

void frmCopyRoutine::endProgram() {
    if (ended_)
        return;
    ended_ = true;
    Timer1->stop();
    hide();
    if (onEndProgram)
        onEndProgram();
    else
        QCoreApplication::exit(0);
}

void frmCopyRoutine::yield() {
    eventLoop_();
}

void frmCopyRoutine::setProgress(double value) {
    ProgressBar1->setValue(qRound(value));
}

Dialogs& frmCopyRoutine::dialogs() {
    return dialogs_;
}

platform::ProcessTable& frmCopyRoutine::processTable() {
    return processes_;
}

bool frmCopyRoutine::cancelled() const {
    return closing_;
}

QString frmCopyRoutine::sourceText() const {
    return txtSource->text();
}

QString frmCopyRoutine::targetText() const {
    return txtTarget->text();
}

QString frmCopyRoutine::sourceModifiedText() const {
    return SourceModifiedDate->text();
}

void frmCopyRoutine::refreshSourceDates() {
    if (!txtSource->text().isEmpty())
        showSourceDates();
}

int frmCopyRoutine::verifyValue() const {
    return chkVerify->isChecked() ? 1 : 0;
}

qint32 frmCopyRoutine::blockSize() const {
    return BlockSize;
}

void frmCopyRoutine::setLabel2(const QString& text) {
    Label2->setText(text);
}

void frmCopyRoutine::setStatusText(const QString& text) {
    lblStatus->setText(text);
}

} // namespace tarsel
