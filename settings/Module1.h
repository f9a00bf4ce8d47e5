#pragma once

#include "core/RegistryKeys.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tarsel {

constexpr quint32 HKEY_CURRENT_USER = 0x80000001;

// The stored text up to its first NUL, or an administrator's preset where the user has stored
// none (platform/SettingsStore.h); nothing when neither holds the value or it is not text.
std::optional<QString> RegGetString(quint32 root, const QString& keyPath, const QString& valueName);

// Stores the text at once, creating the key if needed. A failure is silent: the setting is simply
// not stored.
void RegSetString(quint32 root, const QString& keyPath, const QString& valueName,
                  const QString& data);

} // namespace tarsel
