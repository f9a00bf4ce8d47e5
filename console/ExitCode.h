#pragma once

#include "copy/RunFailure.h"

#include <QString>

namespace tarsel::console {

// The exit codes that logon scripts and fleet tools read.
namespace ExitCode {
constexpr int Ok = 0;        // the target holds the release, verified: updated now or current
constexpr int Usage = 2;     // unknown option, missing path, release and target the same file
constexpr int Release = 3;   // the release cannot be read, or is not as it was published
constexpr int Target = 4;    // the target cannot be replaced; old version kept
constexpr int Copy = 5;      // the copy failed (disk full, I/O error); old version kept
constexpr int Verify = 6;    // the verification found a difference or could not be made
constexpr int Cancelled = 8; // Ctrl+C, SIGTERM, a console closed; old version kept
} // namespace ExitCode

// The exit code of a run that stopped at `stage`.
int exitCodeFor(RunStage stage);

// The exit codes and their meaning, as --help and the README give them.
QString exitCodeTable();

} // namespace tarsel::console
