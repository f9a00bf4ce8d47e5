#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace tarsel {

constexpr quint32 HKEY_CURRENT_USER = 0x80000001;

// Where the window keeps its two paths, under the values "RunningVersionLocation" (the target) and
// "NewVersionLocation" (the source).
inline const QString SettingsKeyPath =
    QStringLiteral("Software\\VB and VBA Program Settings\\Ombrix\\GeneralControl");
inline const QString RunningVersionLocation = QStringLiteral("RunningVersionLocation");
inline const QString NewVersionLocation = QStringLiteral("NewVersionLocation");

// The stored text up to its first NUL; nothing when the key or the value is missing or not text.
std::optional<QString> RegGetString(quint32 root, const QString& keyPath, const QString& valueName);

// Stores the text at once, creating the key if needed. A failure is silent: the setting is simply
// not stored.
void RegSetString(quint32 root, const QString& keyPath, const QString& valueName,
                  const QString& data);

} // namespace tarsel
