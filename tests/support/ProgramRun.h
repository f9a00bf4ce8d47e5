#pragma once

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tarsel::test {

// A program run to its end, as a person or a deployment tool runs it.
struct ProgramRun {
    int exitCode = -1;
    QString output; // standard output and error together
};

inline ProgramRun runProgram(const QString& program, const QStringList& arguments,
                             int timeoutMs = 240'000) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit)
        return {-1, program + QStringLiteral(" did not finish: ") + process.errorString()};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
}

// Every file under `root`, hidden ones too, as a path relative to it, sorted.
inline QStringList filesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace tarsel::test
