#pragma once

#include <QString>

namespace tarsel {

// Message-box styles add up buttons, icon and default button; they are Windows' own numbers.
namespace MsgStyle {
constexpr int OkOnly = 0;
constexpr int YesNo = 4;
constexpr int Critical = 16;
constexpr int DefaultButton2 = 256;
} // namespace MsgStyle

namespace MsgAnswer {
constexpr int Ok = 1;
constexpr int Yes = 6;
constexpr int No = 7;
} // namespace MsgAnswer

inline const QString AppTitle = QStringLiteral("TarselCopyFile");

// Modal message boxes: the window's and the windowless program's. Each program supplies the real
// ones; tests supply fakes, so no test ever opens a real one.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Shows a modal message box; an empty title shows the application's title. Returns the answer.
    virtual int msgBox(const QString& prompt, int style, const QString& title) = 0;
};

} // namespace tarsel
