#include "platform/win32/SystemMessageBoxes.h"

#include "platform/win32/Win32.h"

namespace tarsel::platform::win32 {

int SystemMessageBoxes::msgBox(const QString& prompt, int style, const QString& title) {
    const std::wstring text = prompt.toStdWString();
    const std::wstring caption = (title.isEmpty() ? AppTitle : title).toStdWString();
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), UINT(style) | MB_SETFOREGROUND);
}

} // namespace tarsel::platform::win32
