#pragma once

#include "copy/RunFailure.h"

#include <QString>

#include <array>

namespace tarsel::console {

// The exit codes that logon scripts and fleet tools read.
namespace ExitCode {
constexpr int Ok = 0;
constexpr int Behind = 1;
constexpr int Usage = 2;
constexpr int Release = 3;
constexpr int Target = 4;
constexpr int Copy = 5;
constexpr int Verify = 6;
constexpr int Cancelled = 8;
} // namespace ExitCode

// An exit code and what it means: the one wording that --help prints and the manual page's EXIT
// STATUS gives in its own markup.
struct ExitCodeMeaning {
    int code;
    const char* meaning;
};

// Every exit code tarselcopy ends with, in rising order.
inline constexpr std::array ExitCodeMeanings{
    ExitCodeMeaning{ExitCode::Ok,
                    "The target holds the release, verified: updated now, or already current. "
                    "With --check: the target is current."},
    ExitCodeMeaning{ExitCode::Behind,
                    "With --check: the target is not the master's release, or is missing. "
                    "Nothing was copied."},
    ExitCodeMeaning{ExitCode::Usage,
                    "Bad usage: an unknown option, a missing path, a release and target that are "
                    "the same file, a log that would write into one of them, a key that cannot "
                    "be read or opened, or a release number that is not higher than the last."},
    ExitCodeMeaning{ExitCode::Release,
                    "The release cannot be read (it is missing, not a regular file, or access is "
                    "denied), is empty, changed while it was copied, or is not what its .sha256 "
                    "publishes; with trusted keys, it is not signed, signed by a key that is not "
                    "trusted, not as signed, signed for another file, or older than the release "
                    "in service. The old version is kept."},
    ExitCodeMeaning{ExitCode::Target,
                    "The target cannot be replaced: its folder cannot be made or is not writable, "
                    "another program holds it open, or access is denied. The old version is kept. "
                    "When the rename itself was refused, the error names who holds the target "
                    "after its text, as --who prints them."},
    ExitCodeMeaning{ExitCode::Copy,
                    "The copy failed: the disk is full (or past the file size limit), or an "
                    "input/output error, named against the file that failed. The old version is "
                    "kept."},
    ExitCodeMeaning{ExitCode::Verify, "The verification found a difference, or could not be made. "
                                      "The old version is kept."},
    ExitCodeMeaning{ExitCode::Cancelled, "The run was cancelled. The old version is kept."},
};

// The exit code of a run that stopped at `stage`.
int exitCodeFor(RunStage stage);

// The exit codes and their meanings as --help prints them, each wrapped to 79 columns.
QString exitCodeTable();

} // namespace tarsel::console
