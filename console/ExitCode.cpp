#include "console/ExitCode.h"

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
    return QStringLiteral(
        "Exit codes:\n"
        "  0  the target holds the release, verified: updated now, or already current\n"
        "  2  bad usage: unknown option, missing path, release and target the same file\n"
        "  3  the release cannot be read (missing, not a regular file, denied), is empty, changed\n"
        "     while it was copied, or is not what its .sha256 publishes; old version kept\n"
        "  4  the target cannot be replaced (folder missing or not writable, held open,\n"
        "     denied); old version kept\n"
        "  5  the copy failed (disk full, I/O error); old version kept\n"
        "  6  the verification found a difference or could not be made; old version kept\n"
        "  8  cancelled; old version kept\n");
}

} // namespace tarsel::console
