#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The per-user store behind the registry routines: named text values under a root and a key path.
// On Linux one INI file per user that a person can read and edit: the current user's key
// "Software\VB and VBA Program Settings\Ombrix\<Section>" is the section [<Section>] and each
// value a line "<name>=<text>". A file of the same name and layout in the system configuration
// folders ($XDG_CONFIG_DIRS, /etc/xdg when unset) presets values for every user; it is only read,
// and $VAR, ${VAR} and a leading ~/ in its texts are this user's (a variable not set stays as
// written), as Windows puts %VAR% in.
// On Windows the registry itself, REG_SZ values under the root and key path given; Group Policy
// presets a value under the key its caller names, the computer's policy under HKEY_LOCAL_MACHINE
// before the user's under HKEY_CURRENT_USER, their REG_EXPAND_SZ text with this user's environment
// variables put in, so one policy serves every user; REG_SZ is taken as it is. The user's own value
// is plain REG_SZ under HKEY_CURRENT_USER, where the user may read and write it.
namespace tarsel::platform {

// Where the user's store lives: on Linux $XDG_CONFIG_HOME/Ombrix/TarselCopyFile.ini (~/.config
// when unset), on Windows the current user's registry, HKEY_CURRENT_USER.
QString settingsStorePath();

// `presetKey`: the key under which an administrator presets the value, of the same name, for users
// who stored none (Group Policy's on Windows); empty when nobody presets it. On Linux the presets
// lie in the system configuration folders under the user's own key path, and `presetKey` only says
// whether to read them.

// The text stored under the root, key path and value name: the user's own value where the user's
// store holds one, even an empty one, else the preset; nothing when neither holds the value or when
// it is not text. A user's store that cannot be parsed counts as empty.
std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName, const QString& presetKey);

// The administrator's preset alone, whatever the user stored: on Windows the computer's policy
// under HKEY_LOCAL_MACHINE\`presetKey` (never the user's, which a user may be allowed to change),
// on Linux the presets under the key path. Nothing where none is set or it is not text.
std::optional<QString> readComputerPreset(const QString& keyPath, const QString& valueName,
                                          const QString& presetKey);

// Stores the text at once, creating the store and the key as needed. A store that cannot be parsed
// is replaced. The file is replaced atomically and under a lock, so neither a crash nor a second
// running copy leaves it half-written. A value the user has never stored and that equals the preset
// is left to the preset, so the user keeps following it. Returns whether the text was stored.
bool storeText(quint32 root, const QString& keyPath, const QString& valueName, const QString& data,
               const QString& presetKey);

} // namespace tarsel::platform
