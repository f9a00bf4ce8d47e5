#include "app/Dialogs.h"

namespace tarsel {

QString errorReportText(const RunTimeError& error, const QString& tag) {
    return QStringLiteral("Error ") + QString::number(error.number()) + QStringLiteral(" (") +
           error.description() + QStringLiteral(") in procedure") + QStringLiteral("\r\n") + tag;
}

void showErrorReport(Dialogs& dialogs, const RunTimeError& error, const QString& tag) {
    dialogs.msgBox(errorReportText(error, tag), MsgStyle::Critical, QString());
}

} // namespace tarsel
