#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The per-user store behind the registry routines: named text values under a root and a key path.
namespace tarsel::platform {

// Where the store lives; on Linux $XDG_CONFIG_HOME/Ombrix/TarselCopyFile.ini (~/.config when
// unset).
QString settingsStorePath();

// The text stored under the root, key path and value name; nothing when the store, the key or the
// value is missing, when the value is not text, or when the store cannot be parsed.
std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName);

// Stores the text at once, creating the store and the key as needed. A store that cannot be parsed
// is replaced. The file is replaced atomically and under a lock, so neither a crash nor a second
// running copy leaves it half-written. Returns whether the text was stored.
bool storeText(quint32 root, const QString& keyPath, const QString& valueName, const QString& data);

} // namespace tarsel::platform
