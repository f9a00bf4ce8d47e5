#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tarsel {

// What a release's signature says of the release, in the trusted comment that the signature
// covers: words separated by blanks or tabs (minisign's own comments use tabs), in any order,
//   timestamp:1765300000 file:sales.accdb release:42
// `file:` gives the release's file name and `release:` its number, which only goes up; other
// words (timestamp:, minisign's "hashed") are allowed and mean nothing here.
//
// A file name may hold blanks, which would split the word: in the comment a blank, a tab, a
// control character and '%' itself are written as '%' and two hex digits (a blank as %20, '%' as
// %25), everything else as its UTF-8 bytes. That keeps the comment one line of text that minisign
// carries and shows as it is, needs no quoting rules, leaves a plain name (sales.accdb) as people
// type it in `minisign -t`, and reads back to the very same name.
struct ReleaseClaim {
    QString fileName;
    quint64 release = 0;
};

// The claim in a trusted comment. Throws RunTimeError (ErrorKind::BadSignatureFile) when the
// comment claims no release: without `file:` or `release:`, with either of them twice (which
// would leave it to the reader which one counts), with an empty or undecodable name (a '%'
// without two hex digits, bytes that are not UTF-8, a NUL), or with a number that is not a
// positive decimal of at most 64 bits written plainly (no sign, no leading zero).
ReleaseClaim readReleaseComment(QByteArrayView trustedComment);

// The trusted comment that claims `claim`, with the time of signing as minisign gives it
// (seconds since 1970 UTC): "timestamp:T file:NAME release:N".
QByteArray releaseComment(const ReleaseClaim& claim, qint64 timestamp);

} // namespace tarsel
