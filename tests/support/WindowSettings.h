#pragma once

#include "settings/Module1.h"

#include <QString>
#include <optional>

namespace tarsel::test {

const QString Target = QStringLiteral("RunningVersionLocation");
const QString Source = QStringLiteral("NewVersionLocation");

inline std::optional<QString> text(const QString& value) {
    return value;
}

// The window's own calls: the current user's root and the window's key.
inline std::optional<QString> stored(const QString& name) {
    return RegGetString(HKEY_CURRENT_USER, SettingsKeyPath, name);
}

inline void store(const QString& name, const QString& value) {
    RegSetString(HKEY_CURRENT_USER, SettingsKeyPath, name, value);
}

} // namespace tarsel::test
