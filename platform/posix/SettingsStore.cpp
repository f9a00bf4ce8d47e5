#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QUrl>

namespace tarsel::platform {

namespace {

// QSettings takes '\' and '/' in keys for group separators; percent-encoding keeps the three parts
// apart and exact, and ':' can then only stand between them.
QString storeKey(quint32 root, const QString& keyPath, const QString& valueName) {
    const auto encoded = [](const QString& part) {
        return QString::fromLatin1(QUrl::toPercentEncoding(part));
    };
    return QString::number(root, 16) + u':' + encoded(keyPath) + u':' + encoded(valueName);
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
    return folder + QStringLiteral("/Ombrix/TarselCopyFile.ini");
}

std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName) {
    QSettings store(settingsStorePath(), QSettings::IniFormat);
    if (unparseable(store) || store.status() != QSettings::NoError)
        return std::nullopt;
    const QVariant value = store.value(storeKey(root, keyPath, valueName));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

bool storeText(quint32 root, const QString& keyPath, const QString& valueName,
               const QString& data) {
    const QString path = settingsStorePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !dropUnparseableStore(path))
        return false;
    QSettings store(path, QSettings::IniFormat);
    store.setValue(storeKey(root, keyPath, valueName), data);
    store.sync();
    return store.status() == QSettings::NoError;
}

} // namespace tarsel::platform
