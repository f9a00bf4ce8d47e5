#pragma once

#include "copy/Minisign.h"
#include "copy/ReleaseComment.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace tarsel::test {

// Keys that minisign -G made once (tests/copy/minisign/make-fixtures.sh), linked into the tests
// that sign: "unprotected" (with its secret key), "other" (public key alone), "protected" (its
// secret key under MinisignPassword).
inline const QByteArray MinisignPassword = "correct horse battery staple";

inline QByteArray minisignFixture(const QString& name) {
    QFile file(QStringLiteral(":/minisign/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("fixture %s is missing", qPrintable(name));
    return file.readAll();
}

inline const minisign::SecretKey& unprotectedKey() {
    static const minisign::SecretKey key =
        minisign::SecretKey::read(minisignFixture(QStringLiteral("unprotected.key")), {});
    return key;
}

// The public key line ("RW...") of a fixture key.
inline QString publicKeyLine(const QString& name) {
    return QString::fromLatin1(
        minisignFixture(name + QStringLiteral(".pub")).split('\n').value(1).trimmed());
}

// The signature file of a release's `checksum` (its .sha256's bytes) as a publisher's minisign
// writes it, claiming `fileName` as release `release`.
inline QByteArray releaseSignature(const QByteArray& checksum, const QString& fileName,
                                   quint64 release) {
    return minisign::sign(checksum, unprotectedKey(),
                          releaseComment({fileName, release}, 1765300000));
}

} // namespace tarsel::test
