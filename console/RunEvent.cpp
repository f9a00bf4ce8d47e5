#include "console/RunEvent.h"

#include "console/ExitCode.h"
#include "core/Printable.h"

namespace tarsel::console {

namespace {

platform::RunEventId idOf(const RunRecord& record) {
    using platform::RunEventId;
    if (record.exitCode == ExitCode::Usage)
        return RunEventId::Refused;
    switch (record.outcome) {
    case Outcome::Updated:
        return RunEventId::Updated;
    case Outcome::Current:
        return RunEventId::Current;
    case Outcome::Failed:
        return RunEventId::Failed;
    case Outcome::Cancelled:
        return RunEventId::Cancelled;
    }
    return RunEventId::Failed;
}

// "release 42, SHA-256 …", as a person reads it in the event's message.
QString inServiceText(const RunRecord& record) {
    if (record.digest.isEmpty())
        return QStringLiteral("none known");
    const QString digest = QStringLiteral("SHA-256 ") + QString::fromLatin1(record.digest.toHex());
    return record.release == 0 ? digest
                               : QStringLiteral("release ") + QString::number(record.release) +
                                     QStringLiteral(", ") + digest;
}

} // namespace

platform::RunEvent runEventOf(const RunRecord& record) {
    platform::RunEvent event;
    event.id = idOf(record);
    event.error = record.exitCode != ExitCode::Ok;
    // Names come from other people, as in the log.
    event.strings[platform::EventTarget] = printable(record.target);
    event.strings[platform::EventSource] = printable(record.source);
    event.strings[platform::EventExitCode] = QString::number(record.exitCode);
    event.strings[platform::EventBytes] = QString::number(record.bytes);
    event.strings[platform::EventSeconds] = QString::number(record.seconds, 'f', 3);
    event.strings[platform::EventError] = printable(record.error);
    event.strings[platform::EventInService] = inServiceText(record);
    return event;
}

} // namespace tarsel::console
