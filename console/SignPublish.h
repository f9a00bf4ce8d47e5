#pragma once

#include "console/Options.h"
#include "copy/Minisign.h"

#include <QList>

#include <memory>

namespace tarsel::console {

// How a publish signs the master it puts into service.
struct PublishSigning {
    std::shared_ptr<const minisign::SecretKey> key;
    quint64 release = 0;
};

// The secret key of --sign-key, opened with the password of --sign-password-file or one asked on
// the terminal, and the number to sign: --release, else one above the highest of the master's
// signed number (where its signature verifies with this key or a trusted one) and the number last
// signed here for this master. Throws RunTimeError: a key or password that does not open, a
// --release that is not higher than both, no number left.
PublishSigning preparePublishSigning(const Options& options,
                                     const QList<minisign::PublicKey>& trusted);

} // namespace tarsel::console
