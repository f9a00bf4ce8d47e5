#include "platform/SettingsStore.h"

#include "platform/win32/Win32.h"

#include <algorithm>

namespace tarsel::platform {

namespace {

// A predefined key such as HKEY_CURRENT_USER is a sign-extended 32-bit value.
HKEY rootKey(quint32 root) {
    return reinterpret_cast<HKEY>(ULONG_PTR(LONG(root)));
}

// A REG_EXPAND_SZ value's text with this user's environment variables put in; nothing when the
// system cannot expand it.
std::optional<std::wstring> expanded(const std::wstring& text) {
    std::wstring result(text.size() + 1, L'\0');
    // The count includes the terminating NUL; one above the room given is the room needed. Asked
    // once more with that room: a second shortfall (a variable grew meanwhile) fails rather than
    // chasing it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD count =
            ExpandEnvironmentStringsW(text.c_str(), result.data(), DWORD(result.size()));
        if (count == 0)
            return std::nullopt;
        if (count <= result.size()) {
            result.resize(count - 1);
            return result;
        }
        result.resize(count);
    }
    return std::nullopt;
}

struct Value {
    bool exists = false;         // a value of that name, of any type
    std::optional<QString> text; // REG_SZ as stored, REG_EXPAND_SZ expanded
};

Value valueAt(HKEY root, const QString& keyPath, const QString& valueName) {
    const std::wstring key = keyPath.toStdWString();
    const std::wstring name = valueName.toStdWString();
    // Read as stored (RRF_NOEXPAND), so that the size asked for again after ERROR_MORE_DATA is
    // the stored text's: an expansion by RegGetValueW itself needs room the stored size does not
    // tell. RRF_RT_REG_EXPAND_SZ is refused without RRF_NOEXPAND.
    constexpr DWORD Flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    std::wstring text(256, L'\0');
    for (;;) {
        DWORD type = REG_NONE;
        DWORD bytes = DWORD(text.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(root, key.c_str(), name.c_str(), Flags, &type, text.data(), &bytes);
        if (status == ERROR_MORE_DATA) {
            text.resize(std::max(bytes / sizeof(wchar_t) + 1, text.size() + 1));
            continue;
        }
        if (status == ERROR_UNSUPPORTED_TYPE)
            return {true, std::nullopt};
        if (status != ERROR_SUCCESS)
            return {};
        // The size counts the terminating NUL.
        text.resize(bytes / sizeof(wchar_t) - (bytes >= sizeof(wchar_t) ? 1 : 0));
        if (type != REG_EXPAND_SZ)
            return {true, QString::fromStdWString(text)};
        const std::optional<std::wstring> full = expanded(text);
        return {true, full ? std::optional<QString>(QString::fromStdWString(*full)) : std::nullopt};
    }
}

// Group Policy's preset for a value: the computer's policy before the user's.
std::optional<QString> presetText(const QString& presetKey, const QString& valueName) {
    if (presetKey.isEmpty())
        return std::nullopt;
    for (const HKEY policyRoot : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        if (std::optional<QString> text = valueAt(policyRoot, presetKey, valueName).text)
            return text;
    return std::nullopt;
}

} // namespace

QString settingsStorePath() {
    return QStringLiteral("HKEY_CURRENT_USER");
}

std::optional<QString> readStoredText(quint32 root, const QString& keyPath,
                                      const QString& valueName, const QString& presetKey) {
    Value own = valueAt(rootKey(root), keyPath, valueName);
    return own.exists ? std::move(own.text) : presetText(presetKey, valueName);
}

std::optional<QString> readComputerPreset(const QString&, const QString& valueName,
                                          const QString& presetKey) {
    return valueAt(HKEY_LOCAL_MACHINE, presetKey, valueName).text;
}

bool storeText(quint32 root, const QString& keyPath, const QString& valueName, const QString& data,
               const QString& presetKey) {
    // The window stores every path it restores; a preset stored back that way would stay with the
    // user for good and hide the administrator's later changes.
    if (!valueAt(rootKey(root), keyPath, valueName).exists &&
        presetText(presetKey, valueName) == data)
        return true;
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
