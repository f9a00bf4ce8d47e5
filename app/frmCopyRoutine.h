#pragma once

#include "app/Dialogs.h"
#include "app/EventLoopYield.h"
#include "app/ReleaseHost.h"
#include "app/ReleaseWorkflow.h"
#include "filetime/FileDateKind.h"
#include "filetime/FileTimeRecords.h"
#include "platform/ProcessTable.h"
#include "sweep/AccessSweep.h"
#include "sweep/SweepHost.h"

#include <QWidget>
#include <array>
#include <functional>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tarsel {

// The program's only window. Every control carries its name both as a member and as its Qt object
// name; the members are listed in tab order. The open-file dialog and the folder browser are not
// controls here: they come from `Dialogs`. The handlers are thin: the release run and the sweep
// live in the engine; ReleaseWorkflow and the sweep see the window through ReleaseHost and
// SweepHost.
class frmCopyRoutine : public QWidget, public ReleaseHost, public SweepHost {
    Q_OBJECT

public:
    frmCopyRoutine(Dialogs& dialogs, platform::ProcessTable& processes, QWidget* parent = nullptr);

    // Start-up: restores the remembered paths, shows the source's dates, sets the block size.
    void Form_Load();

    // Event handlers.
    void cmdCopy_Click();
    void cmdPath_Click(int index);
    void Timer1_Timer();
    void txtSource_Change();
    void txtTarget_Change();
    void txtSource_MouseMove();
    void txtTarget_MouseMove();

    void FileAndFolderExist();
    void SetEnabled(bool enabled) override;

    // How code fills a text box: the box shows the text from its first character (setText alone
    // leaves the cursor at the end and scrolls the start of a long text out of sight), as a text
    // box does on Windows. Typing goes through QLineEdit itself and keeps the user's cursor.
    static void putText(QLineEdit* box, const QString& text);

    QGroupBox* Frame1 = nullptr;
    // Index 0 browses for the source file (in Frame1), index 1 for the target folder (in Frame2);
    // both are named "cmdPath" and carry their index in the property "index".
    std::array<QPushButton*, 2> cmdPath{};
    QLineEdit* txtSource = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLineEdit* txtTarget = nullptr;
    QLabel* lblStatus = nullptr;
    QCheckBox* chkVerify = nullptr;
    QLineEdit* SourceCreatedDate = nullptr;
    QLineEdit* DestinationDate = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* SourceModifiedDate = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* SourceAccessedDate = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* cmdCopy = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* CommonDialog1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QTimer* Timer1 = nullptr;

    // The block length of the copy and the verification.
    qint32 BlockSize = 0;
    // The scratch records of the date reader and writer.
    FileTimeRecords records;
    // True while a folder browse places its result in txtTarget (and after a cancelled browse).
    bool BrowsingForFolder = false;
    // How the program ends at once; tests put their own here.
    std::function<void()> onEndProgram;

    // ReleaseHost and SweepHost.
    void setProgress(double value) override;
    void yield() override;
    Dialogs& dialogs() override;
    bool cancelled() const override;
    QString sourceText() const override;
    QString targetText() const override;
    QString sourceModifiedText() const override;
    void refreshSourceDates() override;
    int verifyValue() const override;
    qint32 blockSize() const override;
    void setLabel2(const QString& text) override;
    void setStatusText(const QString& text) override;
    void endProgram() override;
    platform::ProcessTable& processTable() override;
    void swept() override;
    void sweepFailed(const RunTimeError& e) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    QPushButton* makeBrowseButton(QGroupBox* frame, int index, const QString& toolTip);
    void chainTabOrder();
    void connectHandlers();
    QString sourceDateText(FileDateKind kind);
    void showSourceDates();

    Dialogs& dialogs_;
    platform::ProcessTable& processes_;
    ReleaseWorkflow workflow_{*this};
    AccessSweep sweep_;
    bool closing_ = false;
    bool ended_ = false;
    EventLoopYield eventLoop_;
};

} // namespace tarsel
