#pragma once

#include "core/RunTimeError.h"

#include <QString>
#include <optional>

namespace tarsel {

// Message-box styles add up buttons, icon and default button.
namespace MsgStyle {
constexpr int OkOnly = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int DefaultButton2 = 256;
} // namespace MsgStyle

namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

inline const QString AppTitle = QStringLiteral("TarselCopyFile");

// The modal dialogs. The window supplies the real ones; tests supply fakes, so no test ever
// opens a real modal dialog.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows a modal message box; an empty title shows the application's title. Returns the answer.
    virtual int msgBox(const QString& prompt, int style, const QString& title) = 0;

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
