#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace tarsel {

// The program's own pictures, kept as resources.

// A hand holding a page of text, 32 x 32 and 16 x 16: the window's and the program's icon.
QIcon applicationIcon();

// The eye on the two browse buttons, 30 x 17.
QPixmap eyePicture();

// A pointing hand, 32 x 32, whose hot spot is the tip of the index finger.
QCursor pointingHandCursor();

} // namespace tarsel
