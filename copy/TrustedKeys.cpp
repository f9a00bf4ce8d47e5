#include "copy/TrustedKeys.h"

#include "copy/SmallFile.h"
#include "core/RegistryKeys.h"
#include "core/RunTimeError.h"
#include "platform/SettingsStore.h"

#include <QRegularExpression>

namespace tarsel {

namespace {

// A public key file is two short lines; more is no key file.
constexpr qint64 MaxKeyFileSize = 4096;

RunTimeError notAKey(const QString& given, const RunTimeError& why) {
    return why.withDescription(QStringLiteral("'%1' is no minisign public key, as a line (RW...) "
                                              "or a file: %2")
                                   .arg(given, why.description()));
}

minisign::PublicKey keyOrFile(const QString& given) {
    try {
        return minisign::readPublicKey(given.toUtf8());
    } catch (const RunTimeError&) {
        // Not a key line: a file, then.
    }
    try {
        const std::optional<SmallFile> file = readSmallFile(given, MaxKeyFileSize);
        if (!file)
            throw RunTimeError(ErrorKind::FileNotFound, QStringLiteral("File not found"));
        if (file->larger(MaxKeyFileSize))
            throw RunTimeError(ErrorKind::BadKey, QStringLiteral("Too large for a key file"));
        return minisign::readPublicKey(file->bytes);
    } catch (const RunTimeError& e) {
        throw notAKey(given, e);
    }
}

} // namespace

QList<minisign::PublicKey> readTrustedKeys(const QStringList& given) {
    QList<minisign::PublicKey> keys;
    for (const QString& one : given)
        keys << keyOrFile(one);
    return keys;
}

QList<minisign::PublicKey> presetTrustedKeys() {
    const std::optional<QString> preset =
        platform::readComputerPreset(SettingsKeyPath, TrustedKeys, PolicyKeyPath);
    QList<minisign::PublicKey> keys;
    if (!preset)
        return keys;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    for (const QString& line : preset->split(blanks, Qt::SkipEmptyParts)) {
        try {
            keys << minisign::readPublicKey(line.toUtf8());
        } catch (const RunTimeError& e) {
            throw e.withDescription(QStringLiteral("The preset %1 holds '%2', which is no minisign "
                                                   "public key line (RW...): %3")
                                        .arg(TrustedKeys, line, e.description()));
        }
    }
    return keys;
}

QList<minisign::PublicKey> trustedKeys(const QStringList& given) {
    return given.isEmpty() ? presetTrustedKeys() : readTrustedKeys(given);
}

} // namespace tarsel
