#include "copy/SignedRelease.h"

#include "copy/ChecksumFile.h"
#include "copy/ReleaseComment.h"
#include "copy/ReleaseNumbers.h"
#include "copy/SmallFile.h"
#include "core/RunTimeError.h"
#include "platform/Paths.h"

namespace tarsel {

namespace {

RunTimeError refused(const RunTimeError& why, const QString& release, const QString& record) {
    return why.withDescription(QStringLiteral("The new release %1 is refused: %2: %3")
                                   .arg(release, record, why.description()));
}

RunTimeError notSigned(const QString& release, const QString& missing) {
    return RunTimeError(ErrorKind::ReleaseNotSigned,
                        QStringLiteral("The new release %1 is not signed: %2 is missing. Only a "
                                       "release signed with a trusted key is taken.")
                            .arg(release, missing));
}

} // namespace

SignedRelease readSignedRelease(const QString& release, qint64 releaseChanged,
                                const QList<minisign::PublicKey>& trusted) {
    const QString checksum = checksumPathFor(release);
    const QString signaturePath = minisign::signaturePathFor(checksum);
    const std::optional<PublishedChecksum> published =
        readPublishedChecksumFile(release, releaseChanged);
    if (!published)
        throw notSigned(release, checksum);
    const std::optional<SmallFile> file =
        readSmallFile(signaturePath, minisign::MaxSignatureFileSize);
    if (!file)
        throw notSigned(release, signaturePath);
    minisign::KeyId key = 0;
    ReleaseClaim claim;
    try {
        if (file->larger(minisign::MaxSignatureFileSize))
            throw RunTimeError(ErrorKind::BadSignatureFile,
                               QStringLiteral("Larger than any signature file"));
        const minisign::Signature signature = minisign::readSignature(file->bytes);
        key = minisign::verify(published->content, signature, trusted).id;
        claim = readReleaseComment(signature.trustedComment);
    } catch (const RunTimeError& e) {
        if (e.kind() == ErrorKind::SignatureDiffers)
            // Records read while a publisher replaced them are of two releases.
            throw refused(e.withDescription(e.description() +
                                            QStringLiteral(" (while a release is being "
                                                           "published, the next run takes it)")),
                          release, signaturePath);
        throw refused(e, release, signaturePath);
    }
    if (!platform::sameFileName(claim.fileName, platform::fileNameOf(release)))
        throw refused(RunTimeError(ErrorKind::SignatureDiffers,
                                   QStringLiteral("Signed for another file, %1, not %2")
                                       .arg(claim.fileName, platform::fileNameOf(release))),
                      release, signaturePath);
    return SignedRelease{published->digest, claim.release, key};
}

void refuseIfOlder(const QString& release, const SignedRelease& signedRelease,
                   const QString& target) {
    const NumberedRelease inService = releaseInService(target);
    if (signedRelease.release > inService.release ||
        (signedRelease.release == inService.release && signedRelease.digest == inService.digest))
        return;
    throw RunTimeError(
        ErrorKind::ReleaseOlder,
        signedRelease.release < inService.release
            ? QStringLiteral("The new release %1 is release %2, older than release %3, which is "
                             "in service at %4")
                  .arg(release)
                  .arg(signedRelease.release)
                  .arg(inService.release)
                  .arg(target)
            : QStringLiteral("The new release %1 is signed as release %2, the number of the "
                             "release in service at %3, but its bytes are other ones")
                  .arg(release)
                  .arg(signedRelease.release)
                  .arg(target));
}

} // namespace tarsel
