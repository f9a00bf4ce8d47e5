#include "console/CommandLine.h"

#include "console/Options.h"
#include "console/Report.h"
#include "console/TarselCopy.h"
#include "console/Who.h"
#include "console/WindowlessFace.h"
#include "platform/Console.h"
#include "platform/FileSizeLimit.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

// The exit code of a run, told in a message box too where no console shows its lines.
int ended(int exitCode, const tarsel::console::RunEnd& end, tarsel::MessageBoxes* windowless) {
    if (windowless)
        tarsel::console::tellWindowless(end, *windowless);
    return exitCode;
}

} // namespace

int tarsel::console::runCommandLine(int argc, char** argv, MessageBoxes* windowless) {
    // Before anything is opened, Qt's own descriptors included.
    tarsel::platform::prepareStandardStreams();
    tarsel::platform::reportOversizeWrites();
    const QStringList unreadable = tarsel::platform::unreadableArguments(argc, argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarselcopy"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ombrix"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARSEL_VERSION));
    using tarsel::console::Parsed;
    tarsel::console::RunEnd end;
    const Parsed parsed =
        tarsel::console::parseArguments(QCoreApplication::arguments(), unreadable);
    switch (parsed.action) {
    case Parsed::Action::Print:
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return 0;
    case Parsed::Action::Refuse:
        return ended(tarsel::console::refuseRun(parsed.options, parsed.text, &end), end,
                     windowless);
    case Parsed::Action::Run:
        break;
    }
    if (!parsed.options.report.isEmpty())
        return tarsel::console::reportDesks(parsed.options);
    if (parsed.options.who)
        return tarsel::console::tellWhoHolds(parsed.options);
    return ended(tarsel::console::runTarselCopy(parsed.options, &end), end, windowless);
}
