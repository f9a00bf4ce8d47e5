#include "SignatureCheck.h"

#include "copy/ChecksumFile.h"
#include "copy/ReleaseComment.h"
#include "copy/SignedRelease.h"
#include "core/RunTimeError.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace tarsel::bench {

namespace {

constexpr int Checks = 500;

QByteArray contentOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RunTimeError(ErrorKind::FileNotFound, path + QStringLiteral(": cannot be read"));
    return file.readAll();
}

bool write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int timeSignatureCheck(const QString& folder) {
    QTemporaryDir dir(folder + QStringLiteral("/tarsel-bench-XXXXXX"));
    // The tests' key, made by minisign -G.
    const QString keys = QStringLiteral(TARSEL_MINISIGN_FIXTURES);
    const minisign::SecretKey key =
        minisign::SecretKey::read(contentOf(keys + QStringLiteral("/unprotected.key")), {});
    const QString release = dir.filePath(QStringLiteral("sales.accdb"));
    const QByteArray bytes(1 << 20, 'x');
    const QByteArray line =
        checksumLine(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256), "sales.accdb");
    if (!dir.isValid() || !write(release, bytes) || !write(checksumPathFor(release), line) ||
        !write(checksumPathFor(release) + QStringLiteral(".minisig"),
               minisign::sign(line, key, releaseComment({"sales.accdb", 42}, 1765300000)))) {
        std::fprintf(stderr, "FAILED: the signed release could not be written in %s\n",
                     qPrintable(folder));
        return 1;
    }
    const QList<minisign::PublicKey> trusted{key.publicKey()};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < Checks; ++i)
        if (readSignedRelease(release, 0, trusted).release != 42)
            return 1;
    const double ms = double(timer.nsecsElapsed()) / 1e6 / Checks;
    std::printf("signature check (read .sha256 and .minisig, verify): %.3f ms per run, over %d "
                "runs%s\n",
                ms, Checks, ms < 1.0 ? "" : " -- above 1 ms");
    return 0;
}

} // namespace tarsel::bench
