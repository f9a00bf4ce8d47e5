#include "app/Pictures.h"

// The pictures are compiled into a static library; the linker keeps them only if something calls
// their initialiser, and that call must be made outside any namespace.
static void registerPictures() {
    static const bool registered = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace tarsel {

QIcon applicationIcon() {
    registerPictures();
    QIcon icon;
    icon.addFile(QStringLiteral(":/app_icon_32.xpm"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/app_icon_16.xpm"), QSize(16, 16));
    return icon;
}

QPixmap eyePicture() {
    registerPictures();
    return QPixmap(QStringLiteral(":/eye.xpm"));
}

QCursor pointingHandCursor() {
    registerPictures();
    constexpr int fingertipX = 6;
    constexpr int fingertipY = 0;
    return QCursor(QPixmap(QStringLiteral(":/pointing_hand.xpm")), fingertipX, fingertipY);
}

} // namespace tarsel
