#include "console/LogPlace.h"

#include "platform/Paths.h"
#include "platform/StagingFile.h"
#include "sweep/LockFile.h"

#include <QFileInfo>

#include <utility>
#include <vector>

namespace tarsel::console {

namespace {

// The files of the run, each with what the refusal calls it.
std::vector<std::pair<QString, QString>> runFiles(const Options& options) {
    std::vector<std::pair<QString, QString>> files;
    for (const auto& [file, what] : {std::pair{options.source, QStringLiteral("the release")},
                                     std::pair{options.target, QStringLiteral("the target")}}) {
        if (file.isEmpty())
            continue;
        files.emplace_back(file, what);
        files.emplace_back(file + QStringLiteral(".sha256"), what + QStringLiteral("'s checksum"));
        files.emplace_back(file + QStringLiteral(".sha256.minisig"),
                           what + QStringLiteral("'s signature"));
        if (const QString lockFile = lockFilePathFor(file); !lockFile.isEmpty())
            files.emplace_back(lockFile, what + QStringLiteral("'s lock file"));
    }
    return files;
}

// Whether `a` and `b` name one file: the same file where both exist, else the same name in the
// same folder.
bool samePlace(const QString& a, const QString& b) {
    const QFileInfo first(a);
    const QFileInfo second(b);
    return platform::sameFile(a, b) ||
           (platform::sameFileName(first.fileName(), second.fileName()) &&
            platform::sameFile(first.absolutePath(), second.absolutePath()));
}

// `log` and, where it is a symbolic link, each name its links lead to in turn.
QStringList namesOf(const QString& log) {
    // As many links as Linux follows before it gives up (ELOOP).
    constexpr int MaxLinks = 40;
    QStringList names{log};
    for (QFileInfo entry(log); entry.isSymbolicLink() && names.size() <= MaxLinks;
         entry.setFile(entry.symLinkTarget()))
        names << entry.symLinkTarget();
    return names;
}

} // namespace

QString logNamesRunFile(const QString& log, const Options& options) {
    for (const QString& name : namesOf(log)) {
        if (platform::isStagingName(QFileInfo(name).fileName()))
            return QStringLiteral("a staging file");
        for (const auto& [file, what] : runFiles(options))
            if (samePlace(name, file))
                return what;
    }
    return QString();
}

QString logIsRunFile(const platform::FileId& log, const Options& options) {
    for (const auto& [file, what] : runFiles(options))
        if (platform::resolvedFileIdOf(file) == log)
            return what;
    return QString();
}

QString logRefusal(const QString& log, const QString& what) {
    return QStringLiteral("--log '%1' would write into %2: give the log a file of its own")
        .arg(log, what);
}

} // namespace tarsel::console
