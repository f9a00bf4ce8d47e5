#pragma once

#include <QString>
#include <QtGlobal>

namespace tarsel::bench {

// Times platform::Sha256 over a random file of `size` bytes against sha256sum on the same file,
// and Qt's QCryptographicHash beside them, all reading from the warm cache. 0 when every run gave
// the digest that sha256sum gives.
int raceDigest(qint64 size, const QString& folder);

} // namespace tarsel::bench
