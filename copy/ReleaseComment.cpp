#include "copy/ReleaseComment.h"

#include "core/RunTimeError.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace tarsel {

namespace {

const QByteArray FileWord = "file:";
const QByteArray ReleaseWord = "release:";

RunTimeError badComment(const QString& why) {
    return RunTimeError(ErrorKind::BadSignatureFile,
                        QStringLiteral("The signature's trusted comment ") + why);
}

bool isSeparator(char c) {
    return c == ' ' || c == '\t';
}

// Written as %XX: what would end or split the word, or hide in it.
bool isEscaped(uchar c) {
    return c <= ' ' || c == 0x7f || c == '%';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString decodedName(QByteArrayView text) {
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = high < 0 ? -1 : hexValue(text[i + 2]);
        if (low < 0)
            throw badComment(QStringLiteral("holds a file name with a %, which must be followed by "
                                            "two hex digits (%25 for a % itself)"));
        bytes += char(high * 16 + low);
        i += 2;
    }
    if (bytes.isEmpty())
        throw badComment(QStringLiteral("gives an empty file name"));
    if (bytes.contains('\0'))
        throw badComment(QStringLiteral("gives a file name with a NUL character"));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8.decode(bytes);
    if (utf8.hasError())
        throw badComment(QStringLiteral("gives a file name that is not UTF-8"));
    return name;
}

quint64 decodedRelease(QByteArrayView text) {
    const bool plain =
        !text.isEmpty() && text.front() != '0' &&
        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    bool fits = false;
    const quint64 release = plain ? text.toByteArray().toULongLong(&fits) : 0;
    if (!fits)
        throw badComment(
            QStringLiteral("gives the release number \"%1\", not a positive whole "
                           "number of at most 64 bits written without sign or "
                           "leading zero")
                .arg(QString::fromUtf8(text.first(std::min<qsizetype>(text.size(), 40)))));
    return release;
}

} // namespace

ReleaseClaim readReleaseComment(QByteArrayView trustedComment) {
    std::optional<QByteArrayView> file;
    std::optional<QByteArrayView> release;
    qsizetype start = 0;
    while (start < trustedComment.size()) {
        qsizetype end = start;
        while (end < trustedComment.size() && !isSeparator(trustedComment[end]))
            ++end;
        const QByteArrayView word = trustedComment.sliced(start, end - start);
        start = end + 1;
        for (auto [prefix, value] :
             {std::pair{&FileWord, &file}, std::pair{&ReleaseWord, &release}}) {
            if (!word.startsWith(*prefix))
                continue;
            if (*value)
                throw badComment(QStringLiteral("gives %1 twice").arg(QLatin1String(*prefix)));
            *value = word.sliced(prefix->size());
        }
    }
    if (!file)
        throw badComment(
            QStringLiteral("names no file (file:NAME): it was not made for a release"));
    if (!release)
        throw badComment(
            QStringLiteral("gives no release number (release:N): it was not made for a release"));
    return ReleaseClaim{decodedName(*file), decodedRelease(*release)};
}

QByteArray releaseComment(const ReleaseClaim& claim, qint64 timestamp) {
    QByteArray name;
    for (const char c : claim.fileName.toUtf8()) {
        if (isEscaped(uchar(c)))
            name += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0').toUpper();
        else
            name += c;
    }
    return "timestamp:" + QByteArray::number(timestamp) + ' ' + FileWord + name + ' ' +
           ReleaseWord + QByteArray::number(claim.release);
}

} // namespace tarsel
