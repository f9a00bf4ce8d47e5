#include "platform/Opener.h"

#include "platform/posix/ErrnoError.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>

namespace tarsel::platform {

namespace {

// The desktop's own choice of program for a file, as the file manager would open it.
const QString Opener = QStringLiteral("xdg-open");

} // namespace

void openWithAssociatedProgram(const QString& path) {
    const QFileInfo file(path);
    // The opener is not waited for, so a missing file would go unreported.
    if (!file.exists())
        throw errnoError(ENOENT, path);
    const QString opener = QStandardPaths::findExecutable(Opener);
    if (opener.isEmpty())
        throw RunTimeError(ErrorKind::FileNotFound,
                           path +
                               QStringLiteral(": cannot open it, %1 is not installed").arg(Opener));
    QProcess process;
    process.setProgram(opener);
    // Absolute, so that no name is taken for an option.
    process.setArguments({file.absoluteFilePath()});
    // The opened program outlives this one: it must not keep this program's output open, or a
    // script that reads it would wait for the program to end, nor write into it.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        throw RunTimeError(
            ErrorKind::PathFileAccess,
            path + QStringLiteral(": cannot start %1: %2").arg(opener, process.errorString()));
}

} // namespace tarsel::platform
