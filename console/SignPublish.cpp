#include "console/SignPublish.h"

#include "copy/ReleaseNumbers.h"
#include "copy/SignatureCrypto.h"
#include "copy/SignedRelease.h"
#include "copy/SmallFile.h"
#include "core/RunTimeError.h"
#include "platform/Console.h"

#include <limits>

namespace tarsel::console {

namespace {

// A secret key file is a few lines, a password file one.
constexpr qint64 MaxKeyFileSize = 4096;

QByteArray wholeFile(const QString& path, const QString& what) {
    const std::optional<SmallFile> file = readSmallFile(path, MaxKeyFileSize);
    if (!file)
        throw RunTimeError(ErrorKind::FileNotFound,
                           QStringLiteral("%1 %2: File not found").arg(what, path));
    if (file->larger(MaxKeyFileSize))
        throw RunTimeError(ErrorKind::BadKey,
                           QStringLiteral("%1 %2: Larger than any such file").arg(what, path));
    return file->bytes;
}

// The password's first line, without its line end.
QByteArray password(const Options& options) {
    if (!options.signPasswordFile.isEmpty()) {
        QByteArray text =
            wholeFile(options.signPasswordFile, QStringLiteral("--sign-password-file"));
        const qsizetype end = text.indexOf('\n');
        QByteArray line = text.left(end < 0 ? text.size() : end);
        crypto::wipe(text);
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    }
    std::optional<QByteArray> typed =
        platform::readSecretLine(QStringLiteral("Password for %1: ").arg(options.signKey));
    if (!typed)
        throw RunTimeError(ErrorKind::WrongPassword,
                           QStringLiteral("%1 is protected by a password, and there is no terminal "
                                          "to ask it on: give --sign-password-file")
                               .arg(options.signKey));
    return *typed;
}

std::shared_ptr<const minisign::SecretKey> openKey(const Options& options) {
    QByteArray file = wholeFile(options.signKey, QStringLiteral("--sign-key"));
    QByteArray secret;
    try {
        if (minisign::SecretKey::isEncrypted(file))
            secret = password(options);
        auto key =
            std::make_shared<const minisign::SecretKey>(minisign::SecretKey::read(file, secret));
        crypto::wipe(secret);
        crypto::wipe(file);
        return key;
    } catch (const RunTimeError& e) {
        crypto::wipe(secret);
        crypto::wipe(file);
        if (e.kind() == ErrorKind::UserInterrupt)
            throw;
        throw e.withDescription(options.signKey + QStringLiteral(": ") + e.description());
    }
}

// The number the master's own signature gives, where it verifies: one that does not may be
// anyone's, and raises nothing.
quint64 mastersRelease(const QString& master, const QList<minisign::PublicKey>& keys) {
    try {
        return readSignedRelease(master, 0, keys).release;
    } catch (const RunTimeError&) {
        return 0;
    }
}

} // namespace

PublishSigning preparePublishSigning(const Options& options,
                                     const QList<minisign::PublicKey>& trusted) {
    PublishSigning signing;
    signing.key = openKey(options);
    const quint64 highest =
        std::max(mastersRelease(options.target, QList{signing.key->publicKey()} + trusted),
                 lastSignedRelease(options.target));
    if (options.release != 0) {
        if (options.release <= highest)
            throw RunTimeError(ErrorKind::InvalidProcedureCall,
                               QStringLiteral("--release %1 is not higher than release %2, the "
                                              "highest signed for %3: desks would refuse it")
                                   .arg(options.release)
                                   .arg(highest)
                                   .arg(options.target));
        signing.release = options.release;
    } else {
        if (highest == std::numeric_limits<quint64>::max())
            throw RunTimeError(ErrorKind::InvalidProcedureCall,
                               QStringLiteral("No release number is left above %1 for %2: sign "
                                              "with a new key")
                                   .arg(highest)
                                   .arg(options.target));
        signing.release = highest + 1;
    }
    return signing;
}

} // namespace tarsel::console
