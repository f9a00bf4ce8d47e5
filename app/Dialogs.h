#pragma once

#include "core/MessageBoxes.h"
#include "core/RunTimeError.h"

#include <QString>
#include <optional>

namespace tarsel {

// The window's modal dialogs: message boxes, and the two that choose a file or a folder. The window
// supplies the real ones; tests supply fakes, so no test ever opens a real modal dialog.
class Dialogs : public MessageBoxes {
public:
    // The open-file dialog: the chosen file's full path, or `fileName` unchanged when cancelled.
    virtual QString showOpen(const QString& title, const QString& filter,
                             const QString& fileName) = 0;

    // The folder browser: the chosen folder's full path, or nothing when cancelled.
    virtual std::optional<QString> browseForFolder(const QString& title) = 0;
};

// "Error <n> (<description>) in procedure" CR LF <tag>
QString errorReportText(const RunTimeError& error, const QString& tag);

// Shows the error report: OK button, critical icon, the application's title.
void showErrorReport(Dialogs& dialogs, const RunTimeError& error, const QString& tag);

} // namespace tarsel
