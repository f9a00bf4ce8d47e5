#pragma once

#include "console/RunLog.h"
#include "copy/Minisign.h"

#include <QList>
#include <QString>

namespace tarsel::console {

// Whether the target already is the master's release, by the test --if-changed makes, and what
// each holds: copies nothing, ends nothing. Fills the record's outcome (current or behind), exit
// code and standing; a master whose records cannot be read is a failure of the release (exit 3)
// with its error.
void checkStanding(const QString& source, const QString& target,
                   const QList<minisign::PublicKey>& trusted, RunRecord& record);

} // namespace tarsel::console
