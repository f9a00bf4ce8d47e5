#pragma once

#include "console/Options.h"

#include <QString>

namespace tarsel::console {

// How a run ended, for a face that shows it where no console shows its lines.
struct RunEnd {
    int exitCode = 0;
    bool cancelled = false;
    QString error;       // the error line of a run that failed, as standard error has it
    bool opened = false; // a program was started for the target
    QString openError;   // why the target could not be opened, where that was asked
};

// One unattended run as the options ask: skips a current target, ends the Access processes that
// hold the target, runs the release run, says how it went on standard output (and errors on
// standard error), logs it and opens the target. Returns the exit code; `end`, where given, gets
// how the run ended.
int runTarselCopy(const Options& options, RunEnd* end = nullptr);

// A run refused for its command line: says why on standard error, then ends as every run ends,
// with its result line on standard output and its log line where the options name a log (the
// caller clears a log that must not be written). Returns the exit code for bad usage; `end`, where
// given, gets how the run ended.
int refuseRun(const Options& options, const QString& why, RunEnd* end = nullptr);

} // namespace tarsel::console
