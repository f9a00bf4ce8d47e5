#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

namespace tarsel::platform {

namespace {

const QString StoreName = QStringLiteral("Ombrix/TarselCopyFile.ini");

// The key the file stands for: each key below it is a section, so the window's key reads as
// [GeneralControl] and its values as plain lines a person can edit.
constexpr quint32 CurrentUser = 0x80000001;
const QString FileKey = QStringLiteral("Software\\VB and VBA Program Settings\\Ombrix\\");

// QSettings takes '\' and '/' in keys for group separators; percent-encoding keeps every part
// whole and exact, so '/' stands only between section and name, and ':' only after the root of a
// key that lies outside FileKey.
QString storeKey(quint32 root, const QString& keyPath, const QString& valueName) {
    const auto encoded = [](const QString& part) {
        return QString::fromLatin1(QUrl::toPercentEncoding(part));
    };
    const bool below =
        root == CurrentUser && keyPath.size() > FileKey.size() && keyPath.startsWith(FileKey);
    const QString section = below ? encoded(keyPath.mid(FileKey.size()))
                                  : QString::number(root, 16) + u':' + encoded(keyPath);
    return section + u'/' + encoded(valueName);
}

std::optional<QString> textUnder(const QSettings& store, const QString& key) {
    const QVariant value = store.value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

// The administrator's presets, most important first: XDG_CONFIG_DIRS, /etc/xdg when unset.
QStringList presetPaths() {
    QString folders = qEnvironmentVariable("XDG_CONFIG_DIRS");
    if (folders.isEmpty())
        folders = QStringLiteral("/etc/xdg");
    QStringList paths;
    for (const QString& folder : folders.split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(folder))
            paths << folder + u'/' + StoreName;
    return paths;
}

// $VAR, ${VAR} and a leading ~/ put in from this user's environment, as a shell would, so that one
// preset names a path of every user's own. A variable that is not set stays as written.
QString expandedForThisUser(const QString& text) {
    static const QRegularExpression variable(
        QStringLiteral(R"(\$(?:\{([A-Za-z_][A-Za-z0-9_]*)\}|([A-Za-z_][A-Za-z0-9_]*)))"));
    QString expanded;
    qsizetype done = 0;
    if (text.startsWith(QLatin1String("~/"))) {
        expanded = QDir::homePath();
        done = 1;
    }
    for (auto it = variable.globalMatch(text, done); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString name = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
        expanded += QStringView(text).mid(done, match.capturedStart() - done);
        expanded += qEnvironmentVariableIsSet(name.toLocal8Bit().constData())
                        ? qEnvironmentVariable(name.toLocal8Bit().constData())
                        : match.captured();
        done = match.capturedEnd();
    }
    return expanded.append(QStringView(text).mid(done));
}

// Only ever read, and leniently: a line QSettings cannot parse, such as a '#' comment, costs that
// line alone instead of every preset in the file.
std::optional<QString> presetText(const QString& key) {
    for (const QString& path : presetPaths()) {
        const QSettings preset(path, QSettings::IniFormat);
        if (preset.contains(key)) {
            const std::optional<QString> text = textUnder(preset, key);
            return text ? std::optional(expandedForThisUser(*text)) : std::nullopt;
        }
    }
    return std::nullopt;
}

// Whether the store cannot be parsed. QSettings reports a parse error only to the first QSettings
// that reads the file in this process, as later ones reuse that parse; so the verdict is kept for
// as long as the file is unchanged.
bool unparseable(QSettings& store) {
    store.allKeys(); // parses every section: some errors show only then
    static QString badPath;
    static qint64 badSize = -1;
    static QDateTime badModified;
    const QFileInfo file(store.fileName());
    if (store.status() == QSettings::FormatError) {
        badPath = file.absoluteFilePath();
        badSize = file.size();
        badModified = file.lastModified();
        return true;
    }
    return file.exists() && file.absoluteFilePath() == badPath && file.size() == badSize &&
           file.lastModified() == badModified;
}

// An unparseable store counts as empty: it goes before the write, under the lock QSettings takes
// too, so a copy that has just written a sound store does not lose it.
bool dropUnparseableStore(const QString& path) {
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.lock())
        return false;
    QSettings store(path, QSettings::IniFormat);
    return !unparseable(store) || QFile::remove(path);
}

} // namespace

QString settingsStorePath() {
    // A relative folder would tie the store to the working folder; the XDG rules say to ignore it.
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.config");
    return folder + u'/' + StoreName;
}

std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName, const QString& presetKey) {
    const QString key = storeKey(root, keyPath, valueName);
    QSettings store(settingsStorePath(), QSettings::IniFormat);
    if (!unparseable(store) && store.status() == QSettings::NoError && store.contains(key))
        return textUnder(store, key);
    return presetKey.isEmpty() ? std::nullopt : presetText(key);
}

std::optional<QString> readComputerPreset(const QString& keyPath, const QString& valueName,
                                          const QString&) {
    return presetText(storeKey(CurrentUser, keyPath, valueName));
}

bool storeText(quint32 root, const QString& keyPath, const QString& valueName, const QString& data,
               const QString& presetKey) {
    const QString path = settingsStorePath();
    const QString key = storeKey(root, keyPath, valueName);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !dropUnparseableStore(path))
        return false;
    QSettings store(path, QSettings::IniFormat);
    // The window stores every path it restores; a preset stored back that way would stay with the
    // user for good and hide the administrator's later changes.
    if (!store.contains(key) && !presetKey.isEmpty() && presetText(key) == data)
        return true;
    store.setValue(key, data);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace tarsel::platform
