#include "copy/ChecksumFile.h"

#include "copy/SmallFile.h"

#include "core/RunTimeError.h"
#include "platform/Checksum.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/StagingFile.h"

#include <algorithm>

namespace tarsel {

namespace {

// A list of checksums is a few lines; anything larger is not one and is never read whole.
constexpr qint64 MaxChecksumFileSize = 64 * 1024;

constexpr qsizetype HexLength = 2 * platform::Sha256::DigestLength;

struct ChecksumLine {
    QByteArray digest;
    QString name;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Undoes sha256sum's escapes; none when the name holds another escape or ends in a backslash.
std::optional<QByteArray> unescaped(QByteArrayView name) {
    QByteArray result;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != '\\') {
            result += name[i];
            continue;
        }
        if (++i == name.size())
            return std::nullopt;
        switch (name[i]) {
        case '\\':
            result += '\\';
            break;
        case 'n':
            result += '\n';
            break;
        case 'r':
            result += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return result;
}

// One line without its line end, as `sha256sum -c` takes it: blanks, a backslash when the name is
// escaped, the hex digits, one blank, then ' ' or '*' (text or binary) and the name; or, without
// either mark, the name right after the blank. None when the line has another form.
std::optional<ChecksumLine> parsed(QByteArrayView line) {
    qsizetype i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    const bool escaped = i < line.size() && line[i] == '\\';
    if (escaped)
        ++i;
    if (line.size() - i < HexLength + 2)
        return std::nullopt;
    const QByteArrayView hex = line.sliced(i, HexLength);
    i += HexLength;
    if (!std::all_of(hex.begin(), hex.end(), isHexDigit) || !isBlank(line[i++]))
        return std::nullopt;
    if (line.size() - i >= 2 && (line[i] == ' ' || line[i] == '*'))
        ++i;
    std::optional<QByteArray> name = line.sliced(i).toByteArray();
    if (escaped)
        name = unescaped(*name);
    if (!name || name->contains('\0'))
        return std::nullopt;
    return ChecksumLine{QByteArray::fromHex(hex.toByteArray()), QString::fromUtf8(*name)};
}

RunTimeError badChecksumFile(const QString& path, const QString& why) {
    return RunTimeError(ErrorKind::BadChecksumFile, path + QStringLiteral(": ") + why);
}

// The digest alone, 64 hex digits and at most a line end, as PowerShell's Get-FileHash and other
// tools give it.
std::optional<QByteArray> bareDigest(QByteArrayView content) {
    if (content.endsWith("\r\n"))
        content.chop(2);
    else if (content.endsWith('\n'))
        content.chop(1);
    if (content.size() != HexLength || !std::all_of(content.begin(), content.end(), isHexDigit))
        return std::nullopt;
    return QByteArray::fromHex(content.toByteArray());
}

// The .sha256 whole, or none when nothing of that name exists.
std::optional<SmallFile> contentOf(const QString& path) {
    std::optional<SmallFile> content = readSmallFile(path, MaxChecksumFileSize);
    if (content && content->larger(MaxChecksumFileSize))
        throw badChecksumFile(path, QStringLiteral("Larger than 64 KiB, so no list of checksums"));
    return content;
}

} // namespace

QString checksumPathFor(const QString& file) {
    return file + QStringLiteral(".sha256");
}

QString hexOf(const QByteArray& digest) {
    return QString::fromLatin1(digest.toHex());
}

QByteArray checksumLine(const QByteArray& digest, const QString& fileName) {
    Q_ASSERT(digest.size() == platform::Sha256::DigestLength);
    QByteArray name = fileName.toUtf8();
    const bool escaped = name.contains('\\') || name.contains('\n') || name.contains('\r');
    if (escaped)
        name.replace("\\", "\\\\").replace("\n", "\\n").replace("\r", "\\r");
    return (escaped ? QByteArray("\\") : QByteArray()) + digest.toHex() + "  " + name + '\n';
}

namespace {

// The digest that `content`, the .sha256 at `path`, gives for `file`.
QByteArray digestIn(const QByteArray& content, const QString& path, const QString& file) {
    if (content.isEmpty())
        throw badChecksumFile(path, QStringLiteral("Empty"));
    if (const std::optional<QByteArray> digest = bareDigest(content))
        return *digest;

    const QString name = platform::fileNameOf(file);
    std::optional<QByteArray> published;
    QStringList others;
    qsizetype number = 0;
    for (QByteArrayView line : content.split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const std::optional<ChecksumLine> checksum = parsed(line);
        if (!checksum)
            throw badChecksumFile(
                path, QStringLiteral("Line %1 is not a checksum line as sha256sum writes it")
                          .arg(number));
        if (!platform::sameFileName(platform::fileNameOf(checksum->name), name))
            others.append(checksum->name);
        else if (published && *published != checksum->digest)
            throw badChecksumFile(
                path, QStringLiteral("Names %1 twice, with different checksums").arg(name));
        else
            published = checksum->digest;
    }
    if (published)
        return *published;
    if (others.isEmpty())
        throw badChecksumFile(path, QStringLiteral("Holds no checksum line"));
    throw badChecksumFile(
        path, others.size() == 1
                  ? QStringLiteral("Names another file (%1), not %2").arg(others.first(), name)
                  : QStringLiteral("Names %1 other files (%2, ...), not %3")
                        .arg(others.size())
                        .arg(others.first(), name));
}

} // namespace

std::optional<PublishedChecksum> readPublishedChecksumFile(const QString& file,
                                                           qint64 releaseChanged) {
    const QString path = checksumPathFor(file);
    const std::optional<SmallFile> content = contentOf(path);
    if (!content)
        return std::nullopt;
    const QByteArray digest = digestIn(content->bytes, path, file);
    // Equal times are taken: a coarse clock gives a release and the checksum written right after
    // it the same time.
    if (releaseChanged != 0 && content->changed != 0 && content->changed < releaseChanged)
        throw RunTimeError(
            ErrorKind::ChecksumDiffers,
            QStringLiteral(
                "The new release changed after its published checksum was written: %1 "
                "is newer than %2. It was replaced or changed without its checksum: publish it "
                "with tarselcopy or TarselCopyFile, or write %3 anew once it is "
                "complete.")
                .arg(file, path, platform::fileNameOf(path)));
    return PublishedChecksum{content->bytes, digest};
}

std::optional<QByteArray> readPublishedChecksum(const QString& file, qint64 releaseChanged) {
    const std::optional<PublishedChecksum> published =
        readPublishedChecksumFile(file, releaseChanged);
    return published ? std::optional(published->digest) : std::nullopt;
}

std::optional<QByteArray> readRecordedChecksum(const QString& file) {
    return readPublishedChecksum(file, 0);
}

platform::FileId writeChecksumFile(const QString& file, const QByteArray& digest,
                                   Yielder& yielder) {
    return writeSmallFile(checksumPathFor(file), checksumLine(digest, platform::fileNameOf(file)),
                          file, yielder);
}

} // namespace tarsel
