#include "app/WindowPlacement.h"
#include "app/frmCopyRoutine.h"
#include "filetime/GeneralDate.h"
#include "app/WindowFont.h"
#include "support/FakeDialogs.h"
#include "support/FakeProcessTable.h"
#include "support/TestHost.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleOptionFrame>
#include <QTextLayout>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace tarsel;

namespace {

// "cmdPath" names two buttons; "cmdPath0" and "cmdPath1" tell them apart here.
QString keyOf(const QWidget* widget) {
    const QVariant index = widget->property("index");
    return index.isValid() ? widget->objectName() + index.toString() : widget->objectName();
}

QWidget* control(const frmCopyRoutine& window, const QString& key) {
    const auto widgets = window.findChildren<QWidget*>();
    const auto found = std::find_if(widgets.cbegin(), widgets.cend(),
                                    [&](const QWidget* widget) { return keyOf(widget) == key; });
    return found == widgets.cend() ? nullptr : *found;
}

QString textOf(const QWidget* widget) {
    if (auto* frame = qobject_cast<const QGroupBox*>(widget))
        return frame->title();
    if (auto* box = qobject_cast<const QLineEdit*>(widget))
        return box->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    return QString();
}

// The widest general date text of 2026 in the default locale, as `metrics` measure it. The date and
// the time are runs of their own, so the widest day joins the widest time, found field by field:
// the widest minute, the widest second, then each hour with them (that covers AM and PM). Of equal
// widths the last wins: with digits of one width the time is 23:59:59, not midnight, which the
// general date leaves out.
QString widestDateOf2026(const QFontMetrics& metrics) {
    const auto widest = [&](int count, const std::function<QString(int)>& text) {
        int best = 0, bestWidth = -1;
        for (int i = 0; i < count; ++i)
            if (const int width = metrics.horizontalAdvance(text(i)); width >= bestWidth)
                std::tie(best, bestWidth) = std::pair(i, width);
        return best;
    };
    const QDate newYear(2026, 1, 1);
    const QDate day = newYear.addDays(
        widest(newYear.daysInYear(), [&](int i) { return ShortDateText(newYear.addDays(i)); }));
    const int minute = widest(60, [](int m) { return LongTimeText(QTime(1, m, 0)); });
    const int second = widest(60, [](int s) { return LongTimeText(QTime(1, 0, s)); });
    const int hour = widest(24, [&](int h) { return LongTimeText(QTime(h, minute, second)); });
    return GeneralDateText(QDateTime(day, QTime(hour, minute, second)));
}

// The room that a QLineEdit gives its text before it scrolls, worked out as its paintEvent does:
// the style's contents rectangle less the text margins and two pixels on either side, where the
// text stays put while its width, one pixel and the cursor fit.
int roomForText(const QLineEdit* box) {
    QStyleOptionFrame option;
    option.initFrom(box);
    option.rect = box->contentsRect();
    option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
    const QRect contents = box->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, box)
                               .marginsRemoved(box->textMargins());
    const int cursor = box->style()->pixelMetric(QStyle::PM_TextCursorWidth, &option, box);
    return contents.width() - 2 * 2 - 1 - cursor;
}

} // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void tabOrderFollowsTheTable();
    void tabKeySkipsHiddenAndUnfocusableControls();
    void fonts_data();
    void fonts();
    void widestDateFitsTheDateBoxes_data();
    void widestDateFitsTheDateBoxes();
    void colours();
    void browseButtons_data();
    void browseButtons();
    void timerTicksFromCreation();
    void progressBarStartsEmptyWithoutText();
    void verifyBoxIsTickedAndHidden();
    void windowSettings();
    void controlsStayPutOnResize();
    void showsWithoutAskingAnything();
    void centring_data();
    void centring();
};

void TestWindowLayout::controls_data() {
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("takesFocus");

    const QString window = QStringLiteral("frmCopyRoutine");
    QTest::newRow("Frame1") << "QGroupBox" << window << QRect(16, 16, 529, 41)
                            << "New Version Location (Copy From)" << true << false;
    QTest::newRow("cmdPath0") << "QPushButton"
                              << "Frame1" << QRect(8, 16, 33, 19) << "" << true << true;
    QTest::newRow("txtSource") << "QLineEdit"
                               << "Frame1" << QRect(48, 16, 473, 19) << "" << true << true;
    QTest::newRow("Frame2") << "QGroupBox" << window << QRect(16, 64, 529, 41)
                            << "Current Version Location (Copy To)" << true << false;
    QTest::newRow("cmdPath1") << "QPushButton"
                              << "Frame2" << QRect(8, 16, 33, 19) << "" << true << true;
    QTest::newRow("txtTarget") << "QLineEdit"
                               << "Frame2" << QRect(48, 16, 473, 19) << "" << true << true;
    QTest::newRow("lblStatus") << "QLabel" << window << QRect(16, 320, 177, 25) << "Status: Idle"
                               << false << false;
    QTest::newRow("chkVerify") << "QCheckBox" << window << QRect(16, 352, 129, 17) << "Verify copy"
                               << false << true;
    QTest::newRow("SourceCreatedDate")
        << "QLineEdit" << window << QRect(552, 32, 129, 19) << "Create Date" << true << true;
    QTest::newRow("DestinationDate")
        << "QLineEdit" << window << QRect(552, 80, 129, 25) << "DestinationDate" << true << true;
    QTest::newRow("Label1") << "QLabel" << window << QRect(832, 16, 81, 17) << "Last Accessed"
                            << true << false;
    QTest::newRow("SourceModifiedDate")
        << "QLineEdit" << window << QRect(688, 32, 129, 19) << "Modified" << true << true;
    QTest::newRow("Label3") << "QLabel" << window << QRect(688, 16, 113, 17) << "Last Modified"
                            << true << false;
    QTest::newRow("SourceAccessedDate")
        << "QLineEdit" << window << QRect(824, 32, 129, 19) << "Accessed" << true << true;
    QTest::newRow("Label4") << "QLabel" << window << QRect(552, 16, 97, 17) << "Create Date" << true
                            << false;
    QTest::newRow("cmdCopy") << "QPushButton" << window << QRect(264, 296, 385, 73)
                             << "Copy New Release" << true << true;
    QTest::newRow("Label2") << "QLabel" << window << QRect(16, 120, 953, 57)
                            << "We are terminating conflicting programs, please wait..." << true
                            << false;
    QTest::newRow("CommonDialog1")
        << "QFrame" << window << QRect(872, 56, 80, 32) << "" << true << true;
    QTest::newRow("ProgressBar1") << "QProgressBar" << window << QRect(16, 192, 953, 81) << ""
                                  << true << false;
}

void TestWindowLayout::controls() {
    QFETCH(QString, className);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, visible);
    QFETCH(bool, takesFocus);

    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QWidget* widget = control(window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(textOf(widget), text);
    QCOMPARE(widget->isVisibleTo(&window), visible);
    QVERIFY(widget->isEnabled());
    QCOMPARE(widget->focusPolicy() != Qt::NoFocus, takesFocus);
    QVERIFY(!widget->accessibleName().isEmpty());
}

void TestWindowLayout::tabOrderFollowsTheTable() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QStringList order;
    QWidget* widget = window.cmdPath[0];
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << keyOf(widget);
        widget = widget->nextInFocusChain();
    } while (widget != window.cmdPath[0]);

    const QStringList expected{"cmdPath0",        "txtSource",          "cmdPath1",
                               "txtTarget",       "chkVerify",          "SourceCreatedDate",
                               "DestinationDate", "SourceModifiedDate", "SourceAccessedDate",
                               "cmdCopy",         "CommonDialog1"};
    QCOMPARE(order, expected);
}

void TestWindowLayout::tabKeySkipsHiddenAndUnfocusableControls() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(QApplication::focusWidget(), window.cmdPath[0]);

    QStringList order;
    for (int step = 0; step < 10; ++step) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order << keyOf(QApplication::focusWidget());
    }
    const QStringList expected{"txtSource",          "cmdPath1",
                               "txtTarget",          "SourceCreatedDate",
                               "DestinationDate",    "SourceModifiedDate",
                               "SourceAccessedDate", "cmdCopy",
                               "CommonDialog1",      "cmdPath0"};
    QCOMPARE(order, expected);
}

void TestWindowLayout::fonts_data() {
    QTest::addColumn<qreal>("points");
    QTest::newRow("frmCopyRoutine") << 8.25;
    QTest::newRow("txtSource") << 8.25;
    QTest::newRow("Frame2") << 8.25;
    QTest::newRow("cmdPath0") << 8.25;
    QTest::newRow("cmdCopy") << 24.0;
    QTest::newRow("Label2") << 24.0;
    QTest::newRow("lblStatus") << 9.75;
}

void TestWindowLayout::fonts() {
    QFETCH(qreal, points);
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    const QString key = QString::fromLatin1(QTest::currentDataTag());
    const QWidget* widget = key == window.objectName() ? &window : control(window, key);
    QVERIFY(widget);
    const QFont font = widget->font();
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(font.styleHint(), QFont::SansSerif);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
}

void TestWindowLayout::widestDateFitsTheDateBoxes_data() {
    QTest::addColumn<QString>("locale");
    for (const char* name : {"en_US", "de_DE", "fr_FR", "ja_JP", "ar_EG"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// Every date of the year shows whole in a date box: none scrolls its start out of sight.
void TestWindowLayout::widestDateFitsTheDateBoxes() {
    QFETCH(QString, locale);
    const QString face = windowFontSubstitutes().constFirst();
    if (const QString wine = test::wineVersion();
        !wine.isEmpty() && !QFontDatabase::hasFamily(face))
        QSKIP(qPrintable(QStringLiteral("Wine %1's offscreen platform has no %2, the face the "
                                        "date boxes are measured for")
                             .arg(wine, face)));
    const auto restore = qScopeGuard([previous = QLocale()] { QLocale::setDefault(previous); });
    QLocale::setDefault(QLocale(locale));
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    for (const QLineEdit* box : {window.SourceCreatedDate, window.SourceModifiedDate,
                                 window.SourceAccessedDate, window.DestinationDate}) {
        const QString text = widestDateOf2026(box->fontMetrics());
        QTextLayout layout(text, box->font());
        layout.beginLayout();
        const QTextLine line = layout.createLine();
        layout.endLayout(); // lays the line out
        const int width = qRound(line.naturalTextWidth());
        // Measured on missing-glyph boxes, the test would prove nothing.
        for (const QGlyphRun& run : layout.glyphRuns())
            QVERIFY2(!run.glyphIndexes().contains(0),
                     qPrintable(u'"' + text + "\" has characters that no installed face draws"));
        const int room = roomForText(box);
        QVERIFY2(width <= room, qPrintable(QStringLiteral("%1: \"%2\" is %3 pixels wide, room %4")
                                               .arg(box->objectName(), text)
                                               .arg(width)
                                               .arg(room)));
    }
}

void TestWindowLayout::colours() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QCOMPARE(window.backgroundRole(), QPalette::Button);
    QVERIFY(window.autoFillBackground());
    QCOMPARE(window.Label2->backgroundRole(), QPalette::Light);
    QVERIFY(window.Label2->autoFillBackground());
    for (const QWidget* widget :
         {static_cast<QWidget*>(window.Frame1), static_cast<QWidget*>(window.Frame2),
          static_cast<QWidget*>(window.lblStatus)})
        QCOMPARE(widget->palette().color(QPalette::WindowText), QColor(Qt::black));
}

void TestWindowLayout::browseButtons_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("source") << 0 << "Frame1"
                            << "Browse For File (Source)";
    QTest::newRow("target") << 1 << "Frame2"
                            << "Browse For Folder (Target)";
}

void TestWindowLayout::browseButtons() {
    QFETCH(int, index);
    QFETCH(QString, frame);
    QFETCH(QString, toolTip);
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QPushButton* button = window.cmdPath[static_cast<std::size_t>(index)];
    QCOMPARE(button->objectName(), QStringLiteral("cmdPath"));
    QCOMPARE(button->property("index").toInt(), index);
    QCOMPARE(button->parentWidget()->objectName(), frame);
    QCOMPARE(button->toolTip(), toolTip);
    QVERIFY(button->text().isEmpty());
    QCOMPARE(button->iconSize(), QSize(30, 17));
    QVERIFY(button->icon().availableSizes().contains(QSize(30, 17)));

    const QCursor cursor = button->cursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    const QImage hand = cursor.pixmap().toImage();
    QCOMPARE(hand.size(), QSize(32, 32));
    // The hot spot is the fingertip: drawn, and on the topmost drawn row.
    const QPoint hot = cursor.hotSpot();
    QVERIFY(qAlpha(hand.pixel(hot)) > 0);
    for (int y = 0; y < hot.y(); ++y)
        for (int x = 0; x < hand.width(); ++x)
            QCOMPARE(qAlpha(hand.pixel(x, y)), 0);
}

void TestWindowLayout::timerTicksFromCreation() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QCOMPARE(window.Timer1->objectName(), QStringLiteral("Timer1"));
    QCOMPARE(window.Timer1->interval(), 500);
    QVERIFY(window.Timer1->isActive());
    QVERIFY(!window.Timer1->isSingleShot());
    QSignalSpy ticks(window.Timer1, &QTimer::timeout);
    QVERIFY(ticks.wait());
}

void TestWindowLayout::progressBarStartsEmptyWithoutText() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QCOMPARE(window.ProgressBar1->minimum(), 0);
    QCOMPARE(window.ProgressBar1->maximum(), 100);
    QCOMPARE(window.ProgressBar1->value(), 0);
    QCOMPARE(window.ProgressBar1->orientation(), Qt::Horizontal);
    QVERIFY(!window.ProgressBar1->isTextVisible());
}

void TestWindowLayout::verifyBoxIsTickedAndHidden() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.chkVerify->isChecked());
    QVERIFY(!window.chkVerify->isVisible());
    QVERIFY(!window.lblStatus->isVisible());
    QCOMPARE(window.chkVerify->toolTip(), QStringLiteral("Verify Files After Copy"));
    QCOMPARE(window.lblStatus->toolTip(), QStringLiteral("Current Status"));
}

void TestWindowLayout::windowSettings() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    QCOMPARE(window.objectName(), QStringLiteral("frmCopyRoutine"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Copy New Tarsel Version"));
    QCOMPARE(window.size(), QSize(989, 382));
    QVERIFY(window.isWindow());
    QCOMPARE(window.minimumSize(), QSize(0, 0));
    QCOMPARE(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    const QList<QSize> iconSizes = window.windowIcon().availableSizes();
    QVERIFY(iconSizes.contains(QSize(32, 32)));
    QVERIFY(iconSizes.contains(QSize(16, 16)));
}

void TestWindowLayout::controlsStayPutOnResize() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QMap<QWidget*, QRect> before;
    for (auto* widget : window.findChildren<QWidget*>())
        before.insert(widget, widget->geometry());

    for (const QSize size : {QSize(1400, 700), QSize(300, 120)}) {
        window.resize(size);
        QTRY_COMPARE(window.size(), size);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(it.key()->geometry(), it.value());
    }
}

void TestWindowLayout::showsWithoutAskingAnything() {
    test::FakeDialogs dialogs;
    test::FakeProcessTable processes;
    frmCopyRoutine window(dialogs, processes);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.grab().isNull());
    QVERIFY(dialogs.boxes.isEmpty());
    QCOMPARE(dialogs.openCalls + dialogs.folderCalls, 0);
}

void TestWindowLayout::centring_data() {
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QPoint>("topLeft");
    QTest::newRow("full HD") << QRect(0, 0, 1920, 1080) << QPoint(465, 349);
    QTest::newRow("panel on the left") << QRect(48, 0, 1872, 1080) << QPoint(489, 349);
    QTest::newRow("second screen") << QRect(1920, 0, 1280, 1024) << QPoint(2065, 321);
    QTest::newRow("screen smaller than the window") << QRect(0, 0, 800, 600) << QPoint(0, 109);
    QTest::newRow("smaller and offset") << QRect(100, 40, 640, 300) << QPoint(100, 40);
}

void TestWindowLayout::centring() {
    QFETCH(QRect, available);
    QFETCH(QPoint, topLeft);
    QCOMPARE(centredTopLeft(QSize(989, 382), available), topLeft);
}

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
