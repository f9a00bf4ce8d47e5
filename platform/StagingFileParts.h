#pragma once

#include "platform/StagingFile.h"

// What the staging file's shared half takes from each system's.
namespace tarsel::platform::parts {

// The staging files beside `target`, in whatever order the folder lists them.
std::vector<StagingLeftover> listStagingLeftovers(const QString& target);

// True when two paths, neither empty nor equal, name the same existing file.
bool sameExistingFile(const QString& a, const QString& b);

} // namespace tarsel::platform::parts
