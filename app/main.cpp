#include "app/Pictures.h"
#include "app/QtDialogs.h"
#include "app/WindowPlacement.h"
#include "app/frmCopyRoutine.h"
#include "platform/FileSizeLimit.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tarsel::platform::reportOversizeWrites();
    QApplication::setApplicationName(tarsel::AppTitle);
    QApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QApplication::setApplicationVersion(QStringLiteral(TARSEL_VERSION));
    QApplication::setWindowIcon(tarsel::applicationIcon());
    // How a desktop ties the window to its menu entry and that entry's icon.
    QApplication::setDesktopFileName(QStringLiteral("com.ombrix.TarselCopyFile"));

    tarsel::QtDialogs dialogs;
    const auto processes = tarsel::platform::systemProcessTable();
    tarsel::frmCopyRoutine window(dialogs, *processes);
    dialogs.setParentWidget(&window);
    window.Form_Load();

    tarsel::centreOnPrimaryScreen(window);
    window.show();
    return QApplication::exec();
}
