#include "platform/DirectorySearch.h"

#include "platform/Paths.h"
#include "platform/posix/ErrnoError.h"
#include "platform/posix/WildcardMatch.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

namespace tarsel::platform {

namespace {

quint32 attributesFrom(const QString& name, const struct stat& st) {
    quint32 attributes = 0;
    if (S_ISDIR(st.st_mode))
        attributes |= Attr::Directory;
    else if (S_ISREG(st.st_mode))
        attributes |= Attr::Archive;
    else
        attributes |= Attr::System;
    if (!(st.st_mode & S_IWUSR))
        attributes |= Attr::ReadOnly;
    if (name.startsWith(QLatin1Char('.')))
        attributes |= Attr::Hidden;
    return attributes;
}

bool matchFrom(const QString& pattern, qsizetype p, const QString& name, qsizetype n) {
    while (p < pattern.size()) {
        const QChar c = pattern.at(p);
        if (c == QLatin1Char('*')) {
            while (p < pattern.size() && pattern.at(p) == QLatin1Char('*'))
                ++p;
            if (p == pattern.size())
                return true;
            for (qsizetype k = n; k <= name.size(); ++k)
                if (matchFrom(pattern, p, name, k))
                    return true;
            return false;
        }
        if (n == name.size())
            return false;
        if (c != QLatin1Char('?') && c != name.at(n))
            return false;
        ++p;
        ++n;
    }
    return n == name.size();
}

bool hasWildcard(const QString& s) {
    return s.contains(QLatin1Char('*')) || s.contains(QLatin1Char('?'));
}

} // namespace

bool wildcardMatch(const QString& pattern, const QString& name) {
    if (matchFrom(pattern, 0, name, 0))
        return true;
    // As on Windows, a trailing ".*" also matches a name without any extension, so that one
    // pattern finds the same files on both.
    if (pattern.endsWith(QLatin1String(".*")) && !name.contains(QLatin1Char('.')))
        return matchFrom(pattern.chopped(2), 0, name, 0);
    return false;
}

quint32 attributesOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        throw errnoError(path.isEmpty() ? ENOENT : errno, path);
    return attributesFrom(fileNameOf(path), st);
}

void setAttributes(const QString& path, quint32 attributes) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        throw errnoError(path.isEmpty() ? ENOENT : errno, path);
    const mode_t mode = st.st_mode & 07777;
    const mode_t wanted = (attributes & Attr::ReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    // Unchanged permissions are left alone: a file we may write but do not own cannot be chmod-ed.
    if (wanted != mode && ::chmod(name.constData(), wanted) != 0)
        throw errnoError(errno, path);
}

std::optional<FoundEntry> findFirst(const QString& path,
                                    const std::function<bool(const FoundEntry&)>& accept) {
    const QString folder = folderOf(path);
    const QString pattern = fileNameOf(path);
    if (pattern.isEmpty())
        return std::nullopt;
    auto take = [&](const QString& name) -> std::optional<FoundEntry> {
        struct stat st {};
        const QString full = folder + name;
        if (::stat(QFile::encodeName(full).constData(), &st) != 0)
            return std::nullopt;
        FoundEntry entry{full, name, attributesFrom(name, st)};
        if (accept && !accept(entry))
            return std::nullopt;
        return entry;
    };

    // '*' and '?' are legal in Linux names: an entry of exactly that name is what the path names,
    // never a sibling that the pattern also matches.
    if (auto entry = take(pattern); entry || !hasWildcard(pattern))
        return entry;

    const QByteArray dirName = QFile::encodeName(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR* dir = ::opendir(dirName.constData());
    if (!dir)
        return std::nullopt;
    QStringList names;
    while (const dirent* e = ::readdir(dir)) {
        const QString name = QFile::decodeName(e->d_name);
        if (name != QLatin1String(".") && name != QLatin1String("..") &&
            wildcardMatch(pattern, name))
            names << name;
    }
    ::closedir(dir);
    names.sort();
    for (const QString& name : names)
        if (auto entry = take(name))
            return entry;
    return std::nullopt;
}

} // namespace tarsel::platform
