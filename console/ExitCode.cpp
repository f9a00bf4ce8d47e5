#include "console/ExitCode.h"

#include <QStringList>

namespace tarsel::console {

int exitCodeFor(RunStage stage) {
    switch (stage) {
    case RunStage::Paths:
        return ExitCode::Usage;
    case RunStage::Release:
    case RunStage::Published:
        return ExitCode::Release;
    case RunStage::Target:
    case RunStage::Replace:
        return ExitCode::Target;
    case RunStage::Copy:
    case RunStage::WholeCopy:
    case RunStage::Date:
        return ExitCode::Copy;
    case RunStage::Verify:
    case RunStage::Differs:
        return ExitCode::Verify;
    case RunStage::Cancel:
        return ExitCode::Cancelled;
    case RunStage::Stamp:
        // The verified release is in service; only its creation date is missing.
        return ExitCode::Ok;
    }
    return ExitCode::Copy;
}

QString exitCodeTable() {
    constexpr qsizetype Width = 79;
    QString table = QStringLiteral("Exit codes:\n");
    for (const ExitCodeMeaning& entry : ExitCodeMeanings) {
        // "  N  " before a meaning's first line, as many blanks before the others.
        QString line = QStringLiteral("  %1  ").arg(entry.code);
        const qsizetype indent = line.size();
        const QStringList words =
            QString::fromLatin1(entry.meaning).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString& word : words) {
            if (line.size() > indent) {
                if (line.size() + 1 + word.size() > Width) {
                    table += line + QLatin1Char('\n');
                    line = QString(indent, QLatin1Char(' '));
                } else {
                    line += QLatin1Char(' ');
                }
            }
            line += word;
        }
        table += line + QLatin1Char('\n');
    }
    return table;
}

} // namespace tarsel::console
