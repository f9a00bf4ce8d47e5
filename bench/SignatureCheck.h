#pragma once

#include <QString>

namespace tarsel::bench {

// Times what a signed release adds to a run: reading its .sha256 and .sha256.minisig and checking
// the signature with a trusted key, as a desk does before it copies. 0 when every check passed.
int timeSignatureCheck(const QString& folder);

} // namespace tarsel::bench
