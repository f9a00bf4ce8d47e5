#include "app/QtDialogs.h"

#include <QPushButton>
#include <QtTest>

using namespace tarsel;

// The message boxes are built and inspected, never shown.
class TestQtDialogs : public QObject {
    Q_OBJECT

private slots:
    void messageBox_data();
    void messageBox();
    void answers_data();
    void answers();
    void everyFileFilter();
};

void TestQtDialogs::messageBox_data() {
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QMessageBox::StandardButtons>("buttons");
    QTest::addColumn<int>("defaultButton");

    const auto yesNo = QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No);
    QTest::newRow("error report") << "Error 53 (File not found) in procedure\r\n(Tag)." << 16 << ""
                                  << "Error 53 (File not found) in procedure\n(Tag)."
                                  << "TarselCopyFile" << int(QMessageBox::Critical)
                                  << QMessageBox::StandardButtons(QMessageBox::Ok)
                                  << int(QMessageBox::Ok);
    QTest::newRow("large-file prompt")
        << "Too large.\rCopy whole?" << 4 + 256 << "Large File"
        << "Too large.\nCopy whole?"
        << "Large File" << int(QMessageBox::NoIcon) << yesNo << int(QMessageBox::No);
    QTest::newRow("yes/no, first default")
        << "Go on?" << 4 << ""
        << "Go on?"
        << "TarselCopyFile" << int(QMessageBox::NoIcon) << yesNo << int(QMessageBox::Yes);
    QTest::newRow("plain") << "Done." << 0 << "Note"
                           << "Done."
                           << "Note" << int(QMessageBox::NoIcon)
                           << QMessageBox::StandardButtons(QMessageBox::Ok) << int(QMessageBox::Ok);
    QTest::newRow("markup stays text")
        << "<b>C:\\a&b</b>" << 0 << ""
        << "<b>C:\\a&b</b>"
        << "TarselCopyFile" << int(QMessageBox::NoIcon)
        << QMessageBox::StandardButtons(QMessageBox::Ok) << int(QMessageBox::Ok);
}

void TestQtDialogs::messageBox() {
    QFETCH(QString, prompt);
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, shownTitle);
    QFETCH(int, icon);
    QFETCH(QMessageBox::StandardButtons, buttons);
    QFETCH(int, defaultButton);

    QWidget parent;
    const auto box = makeMessageBox(prompt, style, title, &parent);
    QCOMPARE(box->parentWidget(), &parent);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QCOMPARE(box->windowTitle(), shownTitle);
    QCOMPARE(int(box->icon()), icon);
    QCOMPARE(box->standardButtons(), buttons);
    QCOMPARE(int(box->standardButton(box->defaultButton())), defaultButton);
}

void TestQtDialogs::answers_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(QMessageBox::Ok) << 1;
    QTest::newRow("Yes") << int(QMessageBox::Yes) << 6;
    QTest::newRow("No") << int(QMessageBox::No) << 7;
}

void TestQtDialogs::answers() {
    QFETCH(int, button);
    QFETCH(int, answer);
    QCOMPARE(messageBoxAnswer(QMessageBox::StandardButton(button)), answer);
}

void TestQtDialogs::everyFileFilter() {
    // "*.*" must also offer names without a dot, such as a front end copied without extension.
    const QString filter = nameFilter(QStringLiteral("*.*"));
    const QString patterns = filter.section(u'(', 1).chopped(1);
    QCOMPARE(patterns, QStringLiteral("*"));
}

QTEST_MAIN(TestQtDialogs)
#include "test_qt_dialogs.moc"
