#pragma once

#include "core/MessageBoxes.h"

namespace tarsel::platform::win32 {

// Windows' own message box, for a program without Qt's widgets: the style numbers are its own.
// Owned by no window, it comes to the front, as the program that shows it has no window of its own.
// Answers 0 where no box can be shown (no desktop, as for a service).
class SystemMessageBoxes : public MessageBoxes {
public:
    int msgBox(const QString& prompt, int style, const QString& title) override;
};

} // namespace tarsel::platform::win32
