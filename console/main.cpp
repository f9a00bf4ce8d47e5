// tarselcopy: the release run without a window, for logon scripts, shortcuts and fleet tools.

#include "console/Options.h"
#include "console/TarselCopy.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarselcopy"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSEL_VERSION));
    const tarsel::console::Parsed parsed =
        tarsel::console::parseArguments(QCoreApplication::arguments());
    if (!parsed.options) {
        std::fputs(parsed.text.toLocal8Bit().constData(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }
    return tarsel::console::runTarselCopy(*parsed.options);
}
