// tarselcopy: the release run without a window, for logon scripts, shortcuts and fleet tools.

#include "console/Options.h"
#include "console/Report.h"
#include "console/TarselCopy.h"
#include "console/Who.h"
#include "platform/Console.h"
#include "platform/FileSizeLimit.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Before anything is opened, Qt's own descriptors included.
    tarsel::platform::prepareStandardStreams();
    tarsel::platform::reportOversizeWrites();
    const QStringList unreadable = tarsel::platform::unreadableArguments(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarselcopy"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSEL_VERSION));
    using tarsel::console::Parsed;
    const Parsed parsed =
        tarsel::console::parseArguments(QCoreApplication::arguments(), unreadable);
    switch (parsed.action) {
    case Parsed::Action::Print:
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return 0;
    case Parsed::Action::Refuse:
        return tarsel::console::refuseRun(parsed.options, parsed.text);
    case Parsed::Action::Run:
        break;
    }
    if (!parsed.options.report.isEmpty())
        return tarsel::console::reportDesks(parsed.options);
    if (parsed.options.who)
        return tarsel::console::tellWhoHolds(parsed.options);
    return tarsel::console::runTarselCopy(parsed.options);
}
