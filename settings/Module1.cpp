#include "settings/Module1.h"

#include "platform/SettingsStore.h"

namespace tarsel {

namespace {

// Where an administrator presets the value: the window's two paths only, under Group Policy's key.
// Key paths and value names match as the registry matches them, ignoring case.
QString presetKeyFor(quint32 root, const QString& keyPath, const QString& valueName) {
    const bool preset = root == HKEY_CURRENT_USER &&
                        keyPath.compare(SettingsKeyPath, Qt::CaseInsensitive) == 0 &&
                        PolicyValueNames.contains(valueName, Qt::CaseInsensitive);
    return preset ? PolicyKeyPath : QString();
}

} // namespace

std::optional<QString> RegGetString(quint32 root, const QString& keyPath,
                                    const QString& valueName) {
    std::optional<QString> text =
        platform::readStoredText(root, keyPath, valueName, presetKeyFor(root, keyPath, valueName));
    // A stored string ends at its first NUL, as a registry string does.
    if (text) {
        const qsizetype nul = text->indexOf(QChar(0));
        if (nul >= 0)
            text->truncate(nul);
    }
    return text;
}

void RegSetString(quint32 root, const QString& keyPath, const QString& valueName,
                  const QString& data) {
    platform::storeText(root, keyPath, valueName, data, presetKeyFor(root, keyPath, valueName));
}

} // namespace tarsel
