#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
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

// An unparseable store counts as empty: it goes before the write, under the lock QSettings takes
// too, so a copy that has just written a sound store does not lose it.
bool dropUnparseableStore(const QString& path) {
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.lock())
        return false;
    if (QSettings(path, QSettings::IniFormat).status() != QSettings::FormatError)
        return true;
    return QFile::remove(path);
}

} // namespace

QString settingsStorePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Ombrix/TarselCopyFile.ini");
}

std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName) {
    const QSettings store(settingsStorePath(), QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
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
