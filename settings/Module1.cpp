#include "settings/Module1.h"

#include "platform/SettingsStore.h"

namespace tarsel {

std::optional<QString> RegGetString(quint32 root, const QString& keyPath,
                                    const QString& valueName) {
    std::optional<QString> text = platform::readStoredText(root, keyPath, valueName);
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
    platform::storeText(root, keyPath, valueName, data);
}

} // namespace tarsel
