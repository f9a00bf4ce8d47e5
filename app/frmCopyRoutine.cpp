#include "app/frmCopyRoutine.h"

#include "app/Pictures.h"
#include "app/WindowFont.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace tarsel {

namespace {

// The layout was drawn in twips; 15 twips make one pixel at 96 dpi, and Qt scales for denser
// screens.
struct Twips {
    int left, top, width, height;
};

constexpr int pixels(int twips) {
    return (twips + 7) / 15;
}

template <class Control>
Control* place(QWidget* container, const char* name, Twips at, const QString& accessibleName) {
    auto* control = new Control(container);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(pixels(at.left), pixels(at.top), pixels(at.width), pixels(at.height));
    control->setAccessibleName(accessibleName);
    return control;
}

// The window's face, "MS Sans Serif" where the platform has it, else the platform's stand-in for
// it, else its sans-serif face. The stand-in is in place before the first font is matched (the font
// cache keeps what it matched); inserting it again adds nothing.
QFont sansSerif(qreal points) {
    const QString face = QStringLiteral("MS Sans Serif");
    QFont::insertSubstitutions(face, windowFontSubstitutes());
    QFont font(face);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

void setTextBlack(QWidget* control) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    control->setPalette(palette);
}

QLabel* placeLabel(QWidget* container, const char* name, Twips at, const QString& text) {
    auto* label = place<QLabel>(container, name, at, text);
    label->setText(text);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QLineEdit* placeTextBox(QWidget* container, const char* name, Twips at, const QString& text,
                        const QString& accessibleName) {
    auto* box = place<QLineEdit>(container, name, at, accessibleName);
    frmCopyRoutine::putText(box, text);
    return box;
}

QGroupBox* placeFrame(QWidget* container, const char* name, Twips at, const QString& title) {
    auto* frame = place<QGroupBox>(container, name, at, title);
    frame->setTitle(title);
    setTextBlack(frame);
    return frame;
}

} // namespace

frmCopyRoutine::frmCopyRoutine(Dialogs& dialogs, platform::ProcessTable& processes, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), processes_(processes), sweep_(processes, *this) {
    buildControls();
    connectHandlers();
}

void frmCopyRoutine::connectHandlers() {
    connect(cmdCopy, &QPushButton::clicked, this, &frmCopyRoutine::cmdCopy_Click);
    for (int index = 0; index < int(cmdPath.size()); ++index)
        connect(cmdPath[index], &QPushButton::clicked, this,
                [this, index] { cmdPath_Click(index); });
    connect(Timer1, &QTimer::timeout, this, &frmCopyRoutine::Timer1_Timer);
    connect(txtSource, &QLineEdit::textChanged, this, &frmCopyRoutine::txtSource_Change);
    connect(txtTarget, &QLineEdit::textChanged, this, &frmCopyRoutine::txtTarget_Change);
    for (QLineEdit* box : {txtSource, txtTarget}) {
        box->setMouseTracking(true);
        box->installEventFilter(this);
    }
}

void frmCopyRoutine::buildControls() {
    setObjectName(QStringLiteral("frmCopyRoutine"));
    setWindowTitle(QStringLiteral("Copy New Tarsel Version"));
    setWindowIcon(applicationIcon());
    resize(pixels(14835), pixels(5730));
    setFont(sansSerif(8.25));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    // Created in tab order, so the focus chain starts out right for the controls without focus too.
    Frame1 = placeFrame(this, "Frame1", {240, 240, 7932, 615},
                        QStringLiteral("New Version Location (Copy From)"));
    cmdPath[0] = makeBrowseButton(Frame1, 0, QStringLiteral("Browse For File (Source)"));
    txtSource =
        placeTextBox(Frame1, "txtSource", {720, 240, 7092, 285}, QString(), Frame1->title());

    Frame2 = placeFrame(this, "Frame2", {240, 960, 7932, 615},
                        QStringLiteral("Current Version Location (Copy To)"));
    cmdPath[1] = makeBrowseButton(Frame2, 1, QStringLiteral("Browse For Folder (Target)"));
    txtTarget =
        placeTextBox(Frame2, "txtTarget", {720, 240, 7092, 285}, QString(), Frame2->title());

    lblStatus =
        placeLabel(this, "lblStatus", {240, 4800, 2655, 375}, QStringLiteral("Status: Idle"));
    lblStatus->setAccessibleName(QStringLiteral("Current Status"));
    lblStatus->setToolTip(QStringLiteral("Current Status"));
    lblStatus->setFont(sansSerif(9.75));
    setTextBlack(lblStatus);
    lblStatus->hide();

    chkVerify =
        place<QCheckBox>(this, "chkVerify", {240, 5280, 1935, 255}, QStringLiteral("Verify copy"));
    chkVerify->setText(QStringLiteral("Verify copy"));
    chkVerify->setToolTip(QStringLiteral("Verify Files After Copy"));
    chkVerify->setChecked(true);
    chkVerify->hide();

    SourceCreatedDate =
        placeTextBox(this, "SourceCreatedDate", {8280, 480, 1932, 288},
                     QStringLiteral("Create Date"), QStringLiteral("Source created date"));
    DestinationDate =
        placeTextBox(this, "DestinationDate", {8280, 1200, 1932, 372},
                     QStringLiteral("DestinationDate"), QStringLiteral("Destination date"));
    Label1 = placeLabel(this, "Label1", {12480, 240, 1212, 252}, QStringLiteral("Last Accessed"));
    SourceModifiedDate =
        placeTextBox(this, "SourceModifiedDate", {10320, 480, 1932, 288},
                     QStringLiteral("Modified"), QStringLiteral("Source modified date"));
    Label3 = placeLabel(this, "Label3", {10320, 240, 1692, 252}, QStringLiteral("Last Modified"));
    SourceAccessedDate =
        placeTextBox(this, "SourceAccessedDate", {12360, 480, 1932, 288},
                     QStringLiteral("Accessed"), QStringLiteral("Source accessed date"));
    Label4 = placeLabel(this, "Label4", {8280, 240, 1452, 252}, QStringLiteral("Create Date"));

    cmdCopy = place<QPushButton>(this, "cmdCopy", {3960, 4440, 5775, 1095},
                                 QStringLiteral("Copy New Release"));
    cmdCopy->setText(QStringLiteral("Copy New Release"));
    cmdCopy->setFont(sansSerif(24));

    Label2 = placeLabel(this, "Label2", {240, 1800, 14295, 855},
                        QStringLiteral("We are terminating conflicting programs, please wait..."));
    Label2->setAccessibleName(QStringLiteral("Status message"));
    Label2->setFont(sansSerif(24));
    Label2->setBackgroundRole(QPalette::Light);
    Label2->setAutoFillBackground(true);

    // An empty picture box: nothing draws into it, but it sits in the tab order.
    CommonDialog1 = place<QFrame>(this, "CommonDialog1", {13080, 840, 1200, 480},
                                  QStringLiteral("Picture box"));
    CommonDialog1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    CommonDialog1->setLineWidth(2);
    CommonDialog1->setFocusPolicy(Qt::StrongFocus);

    ProgressBar1 = place<QProgressBar>(this, "ProgressBar1", {240, 2880, 14295, 1215},
                                       QStringLiteral("Copy progress"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    Timer1->start();

    chainTabOrder();
}

void frmCopyRoutine::putText(QLineEdit* box, const QString& text) {
    box->setText(text);
    box->setCursorPosition(0);
}

QPushButton* frmCopyRoutine::makeBrowseButton(QGroupBox* frame, int index, const QString& toolTip) {
    auto* button = place<QPushButton>(frame, "cmdPath", {120, 240, 495, 285}, toolTip);
    button->setProperty("index", index);
    button->setIcon(eyePicture());
    button->setIconSize(QSize(30, 17));
    button->setToolTip(toolTip);
    button->setCursor(pointingHandCursor());
    return button;
}

void frmCopyRoutine::chainTabOrder() {
    const std::array<QWidget*, 11> order{cmdPath[0],      txtSource,          cmdPath[1],
                                         txtTarget,       chkVerify,          SourceCreatedDate,
                                         DestinationDate, SourceModifiedDate, SourceAccessedDate,
                                         cmdCopy,         CommonDialog1};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

} // namespace tarsel
