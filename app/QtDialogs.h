#pragma once

#include "app/Dialogs.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <memory>

namespace tarsel {

// The real dialogs: Qt's message box, open-file dialog and folder browser, modal to the window.
class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr);

    // The window the dialogs belong to; it is made after the dialogs it is given.
    void setParentWidget(QWidget* parent);

    int msgBox(const QString& prompt, int style, const QString& title) override;
    QString showOpen(const QString& title, const QString& filter, const QString& fileName) override;
    std::optional<QString> browseForFolder(const QString& title) override;

private:
    QPointer<QWidget> parent_;
};

// The message box for a prompt and a style number, ready to run. A CR LF or a lone CR in the
// prompt is a line break; an empty title shows the application's title.
std::unique_ptr<QMessageBox> makeMessageBox(const QString& prompt, int style, const QString& title,
                                            QWidget* parent);

// The answer number for the button that closed a message box.
int messageBoxAnswer(QMessageBox::StandardButton button);

// A Qt name filter for a file-type filter of the program ("*.*" is every file).
QString nameFilter(const QString& filter);

} // namespace tarsel
