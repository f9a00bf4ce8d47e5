#include "platform/WindowFont.h"

namespace tarsel::platform {

// Qt cannot draw the bitmap face "MS Sans Serif"; Windows' own TrueType twin has its shapes and
// widths.
QStringList windowFontSubstitutes() {
    return {QStringLiteral("Microsoft Sans Serif")};
}

} // namespace tarsel::platform
