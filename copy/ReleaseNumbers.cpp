#include "copy/ReleaseNumbers.h"

#include "copy/ChecksumFile.h"
#include "core/RegistryKeys.h"
#include "core/RunTimeError.h"
#include "platform/SettingsStore.h"
#include "settings/Module1.h"

#include <QDir>
#include <QFileInfo>

namespace tarsel {

namespace {

// A file is kept under its absolute path, so that any working folder finds it again.
QString valueNameOf(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// "N HEX": the number, then the digest in hex where one is kept. A text of any other form is no
// number: 0.
NumberedRelease read(const QString& keyPath, const QString& path) {
    const QString text =
        platform::readStoredText(HKEY_CURRENT_USER, keyPath, valueNameOf(path), QString())
            .value_or(QString());
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    bool number = false;
    const quint64 release = words.value(0).toULongLong(&number);
    if (!number || words.size() > 2)
        return {};
    return {release, QByteArray::fromHex(words.value(1).toLatin1())};
}

bool keep(const QString& keyPath, const QString& path, const NumberedRelease& release) {
    if (read(keyPath, path).release > release.release)
        return true;
    QString text = QString::number(release.release);
    if (!release.digest.isEmpty())
        text += u' ' + QString::fromLatin1(release.digest.toHex());
    return platform::storeText(HKEY_CURRENT_USER, keyPath, valueNameOf(path), text, QString());
}

} // namespace

NumberedRelease releaseInService(const QString& target) {
    return read(ReleasesInServiceKeyPath, target);
}

std::optional<NumberedRelease> versionInService(const QString& target) {
    std::optional<QByteArray> digest;
    try {
        digest = readRecordedChecksum(target);
    } catch (const RunTimeError&) {
        // A record that gives no digest tells nothing of the version.
    }
    if (!digest)
        return std::nullopt;
    const NumberedRelease kept = releaseInService(target);
    return NumberedRelease{kept.digest == *digest ? kept.release : 0, *digest};
}

bool keepReleaseInService(const QString& target, const NumberedRelease& release) {
    return keep(ReleasesInServiceKeyPath, target, release);
}

quint64 lastSignedRelease(const QString& master) {
    return read(ReleasesSignedKeyPath, master).release;
}

bool keepSignedRelease(const QString& master, quint64 release) {
    return keep(ReleasesSignedKeyPath, master, {release, {}});
}

} // namespace tarsel
