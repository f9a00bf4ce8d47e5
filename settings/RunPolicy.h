#pragma once

#include <QString>

#include <optional>

namespace tarsel {

// What the computer's policy sets for one option of a tarselcopy run (RegistryKeys.h): its text,
// and whether the command line may override it.
struct Policy {
    std::optional<QString> value; // none where the policy is not set
    bool commandLineOverrides = false;
};

// The computer's policy of this name: Group Policy below HKEY_LOCAL_MACHINE on Windows, the
// presets on Linux; never the user's, which the user may change.
Policy computerPolicy(const QString& name);

} // namespace tarsel
