#include "app/WindowFont.h"

namespace tarsel {

// At 8.25 pt a date box has room for 121 pixels of text. DejaVu Sans, which fontconfig gives for
// "MS Sans Serif", is a fifth wider than that face: the widest US date and time of a year needs 137
// pixels, a Japanese one 142. Liberation Sans Narrow (fonts-liberation) needs 99 and 111, and 114
// for an Egyptian one (its Arabic digits come from a fallback face). DejaVu Sans Condensed
// (fonts-dejavu-extra) needs 123 for a US date, two too many, but shows more than DejaVu Sans.
QStringList windowFontSubstitutes() {
    return {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed")};
}

} // namespace tarsel
