#include "platform/SettingsStore.h"

#include "platform/win32/Win32.h"

namespace tarsel::platform {

namespace {

// A predefined key such as HKEY_CURRENT_USER is a sign-extended 32-bit value.
HKEY rootKey(quint32 root) {
    return reinterpret_cast<HKEY>(ULONG_PTR(LONG(root)));
}

} // namespace

QString settingsStorePath() {
    return QStringLiteral("HKEY_CURRENT_USER");
}

std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName) {
    const std::wstring key = keyPath.toStdWString();
    const std::wstring name = valueName.toStdWString();
    std::wstring text(256, L'\0');
    for (;;) {
        DWORD bytes = DWORD(text.size() * sizeof(wchar_t));
        const LSTATUS status = RegGetValueW(rootKey(root), key.c_str(), name.c_str(), RRF_RT_REG_SZ,
                                            nullptr, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) {
            text.resize(bytes / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        // The size counts the terminating NUL.
        text.resize(bytes / sizeof(wchar_t) - (bytes >= sizeof(wchar_t) ? 1 : 0));
        return QString::fromStdWString(text);
    }
}

bool storeText(quint32 root, const QString& keyPath, const QString& valueName,
               const QString& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(rootKey(root), keyPath.toStdWString().c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring text = data.toStdWString();
    const LSTATUS status = RegSetValueExW(key, valueName.toStdWString().c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text.c_str()),
                                          DWORD((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

} // namespace tarsel::platform
