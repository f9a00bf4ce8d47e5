#pragma once

#include "platform/Files.h"

#include <QDateTime>

namespace tarsel {

// The creation date a run gives the version it puts into service, by which a later run knows that
// version is current: the release's modification date plus one minute, local, to whole seconds.
QDateTime releaseStamp(const QDateTime& releaseModified);

// The stamp for the open release, its modification date read once from the run's own handle, as
// the window's date box shows it (local, with the UTC offset in force now). Not valid when the date
// cannot be read.
QDateTime releaseStampOf(const platform::OpenFile& release);

// Whether `created` is the stamp for a release modified at `releaseModified`: within two seconds,
// as FAT keeps creation dates to two seconds.
bool isReleaseStamp(const QDateTime& created, const QDateTime& releaseModified);

} // namespace tarsel
