#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tarsel {

QPoint centredTopLeft(const QSize& size, const QRect& available) {
    const int left = available.left() + (available.width() - size.width()) / 2;
    const int top = available.top() + (available.height() - size.height()) / 2;
    return {std::max(left, available.left()), std::max(top, available.top())};
}

void centreOnPrimaryScreen(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    window.move(centredTopLeft(window.frameGeometry().size(), screen->availableGeometry()));
}

} // namespace tarsel
