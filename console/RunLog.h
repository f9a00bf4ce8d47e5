#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace tarsel::console {

// How a run ended, as the result line and the log name it: "updated", "current", "failed",
// "cancelled"; a --check that found the target behind the master, "behind".
enum class Outcome { Updated, Current, Failed, Cancelled, Behind };
QString outcomeText(Outcome outcome);

// One run as the log keeps it.
struct RunRecord {
    QDateTime when; // local time of the run's start
    QString user;
    QString computer;
    Outcome outcome = Outcome::Failed;
    int exitCode = 0;
    QString source;
    QString target;
    qint64 bytes = 0; // written into service by this run
    double seconds = 0;
    QString error; // empty when none
    // The version in service at the target after the run: its SHA-256 (empty where none is known)
    // and, where its release was signed, its release number (0 otherwise).
    QByteArray digest;
    quint64 release = 0;
    // The folder the run made for the target, for the result line (the log has it among the
    // notes).
    QString createdFolder;
    // For the result line of a --check: what is in service and what the master publishes.
    QString standing;
    // How many times the run was tried (--retry); the log has it among the notes.
    int tries = 1;
};

// The record as one tab-separated line ending in a newline, UTF-8: the time in ISO 8601 with its
// UTC offset, then the fields in the order above, the digest as 64 lower-case hex digits and the
// release as its number, each empty where none is known. Tabs and line breaks inside a field
// become blanks, so that every line has the same twelve fields, and other control characters
// escapes, as printable() writes them. The version's two come last, so that parsers that know only
// the first ten keep working.
QByteArray logLine(const RunRecord& record);

} // namespace tarsel::console
