#include "core/RunTimeError.h"
#include "platform/ProcessTable.h"

#include <QRegularExpression>

namespace tarsel::platform {

QString queriedProcessName(const QString& queryText) {
    static const QRegularExpression form(
        QStringLiteral(
            R"(^\s*SELECT\s+\*\s+FROM\s+Win32_Process\s+WHERE\s+Name\s*=\s*'([^']*)'\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(queryText);
    if (!match.hasMatch())
        throw RunTimeError(ErrNo::InvalidProcedureCall,
                           QStringLiteral("Unsupported process query: ") + queryText);
    return match.captured(1);
}

} // namespace tarsel::platform
