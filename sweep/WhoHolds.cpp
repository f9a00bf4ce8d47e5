#include "sweep/WhoHolds.h"

namespace tarsel {

namespace {

const QString HeldBy = QStringLiteral("held by ");

// "MSACCESS.EXE (pid 1234)" for each local holder.
QStringList localNames(const Holders& holders) {
    QStringList names;
    if (holders.local)
        for (const platform::ProcessEntry& process : *holders.local)
            names.append(process.name + QStringLiteral(" (pid ") + QString::number(process.pid) +
                         u')');
    return names;
}

} // namespace

Holders whoHolds(platform::ProcessTable& table, const QString& frontEnd) {
    Holders holders{table.holdersOf(frontEndFiles(frontEnd)), lockFilePathFor(frontEnd), {}};
    holders.sawOtherAccounts = !holders.local || table.sawOtherAccounts();
    if (!holders.lockFile.isEmpty())
        holders.recorded = readLockFile(holders.lockFile);
    return holders;
}

QStringList whoHoldsLines(const Holders& holders) {
    QStringList lines;
    for (const QString& name : localNames(holders))
        lines.append(HeldBy + name);
    // A slot that records a computer and account once more adds nothing.
    for (const LockFileEntry& entry : holders.recorded)
        if (const QString line = lockFileText(holders.lockFile, {entry}); !lines.contains(line))
            lines.append(line);
    return lines;
}

RunTimeError namingHolders(const RunTimeError& error, platform::ProcessTable& table,
                           const QString& frontEnd) {
    const Holders holders = whoHolds(table, frontEnd);
    QStringList known;
    if (const QStringList names = localNames(holders); !names.isEmpty())
        known.append(HeldBy + names.join(QStringLiteral(", ")));
    if (const QString recorded = lockFileText(holders.lockFile, holders.recorded);
        !recorded.isEmpty())
        known.append(recorded);
    if (known.isEmpty())
        return error;
    // Windows' texts end in a full stop, which would stand before the names as ".;".
    QString description = error.description();
    if (description.endsWith(u'.'))
        description.chop(1);
    return error.withDescription(description + QStringLiteral("; ") +
                                 known.join(QStringLiteral("; ")));
}

} // namespace tarsel
