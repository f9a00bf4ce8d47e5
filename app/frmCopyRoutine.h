#pragma once

#include "platform/Dialogs.h"

#include <QWidget>
#include <array>

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
// controls here: they come from `Dialogs`.
class frmCopyRoutine : public QWidget {
    Q_OBJECT

public:
    explicit frmCopyRoutine(Dialogs& dialogs, QWidget* parent = nullptr);

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

private:
    void buildControls();
    QPushButton* makeBrowseButton(QGroupBox* frame, int index, const QString& toolTip);
    void chainTabOrder();

    Dialogs& dialogs_;
};

} // namespace tarsel
