#pragma once

#include <QStringList>

namespace tarsel {

// The faces that stand in for "MS Sans Serif", the face of every font of the window (8.25, 9.75
// and 24 pt), where the platform lacks it: family names, best first. The window asks for
// "MS Sans Serif" and the font matching takes the first of these that is installed, then the
// platform's sans-serif face (QFont substitution, set up before the window's first font).
//
// The first face must be installed by the platform's install step, and at 8.25 pt it must fit the
// widest general date text of 2026 of the locales that tests/app/test_window_layout.cpp lists into
// a date box (1,932 twips wide) without scrolling. Later faces are second choices for machines
// without the first.
QStringList windowFontSubstitutes();

} // namespace tarsel
