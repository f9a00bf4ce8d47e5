#include "app/WindowFont.h"

namespace tarsel {

// Qt cannot draw the bitmap face "MS Sans Serif"; Windows' own TrueType twin has its shapes and
// widths. Without it, as under Wine, Qt's own fallback takes the first face of the system's list,
// which may be a serif one. Then Tahoma, the sans face of Windows' dialogs, which Wine ships too;
// then Liberation Sans, Arial's metric twin from the Linux system's fonts, which Wine lists where
// it does not load its own faces (Debian's Wine 8 with fonts-wine installed).
QStringList windowFontSubstitutes() {
    return {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"),
            QStringLiteral("Liberation Sans")};
}

} // namespace tarsel
