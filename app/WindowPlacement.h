#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace tarsel {

// Where a window of `size` goes to sit in the middle of `available`. A window larger than the
// area keeps its top-left corner, and with it the title bar, inside the area.
QPoint centredTopLeft(const QSize& size, const QRect& available);

// Moves a top-level window to the middle of the primary screen's available area.
void centreOnPrimaryScreen(QWidget& window);

} // namespace tarsel
