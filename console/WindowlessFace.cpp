#include "console/WindowlessFace.h"

#include "console/ExitCode.h"
#include "core/Printable.h"

#include <QStringList>

namespace tarsel::console {

namespace {

const QString StaysAdvice =
    QStringLiteral(" If this message comes again, tell your help desk what it says.");

// What the person at the desk can do about a run that ended with `exitCode`.
QString adviceFor(int exitCode) {
    switch (exitCode) {
    case ExitCode::Ok: // the release is in service, but could not be opened
        return QStringLiteral("The front end is up to date: open it yourself.") + StaysAdvice;
    case ExitCode::Usage:
        return QStringLiteral("The shortcut or script that started the update is set up wrongly: "
                              "tell your help desk what this message says.");
    case ExitCode::Release:
        return QStringLiteral("The new release cannot be taken now. Try again in a few minutes.") +
               StaysAdvice;
    case ExitCode::Target:
        return QStringLiteral("The front end cannot be replaced now: close the programs that use "
                              "it, Microsoft Access among them, and try again.") +
               StaysAdvice;
    case ExitCode::Copy:
        return QStringLiteral("Free some room on the drive that holds the front end, and try "
                              "again.") +
               StaysAdvice;
    default:
        return QStringLiteral("Try again in a few minutes.") + StaysAdvice;
    }
}

} // namespace

QString windowlessNotice(const RunEnd& end) {
    // Behind is --check's answer, not a failure: nothing to tell the person at the desk.
    const bool failed = end.exitCode != ExitCode::Ok && end.exitCode != ExitCode::Behind;
    if (end.cancelled || end.opened || (!failed && end.openError.isEmpty()))
        return QString();
    // Names in the lines come from others (paths, process names): escaped, as on a console.
    QStringList lines;
    if (failed)
        lines << printable(end.error);
    if (!end.openError.isEmpty())
        lines << printable(end.openError);
    return lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n") +
           adviceFor(end.exitCode);
}

void tellWindowless(const RunEnd& end, MessageBoxes& boxes) {
    if (const QString notice = windowlessNotice(end); !notice.isEmpty())
        boxes.msgBox(notice, MsgStyle::Critical, QString());
}

} // namespace tarsel::console
