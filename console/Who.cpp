#include "console/Who.h"

#include "console/ExitCode.h"
#include "core/Printable.h"
#include "sweep/WhoHolds.h"

#include <cstdio>

namespace tarsel::console {

int tellWhoHolds(const Options& options) {
    const Holders holders = whoHolds(*platform::systemProcessTable(), options.target);
    if (!holders.local)
        std::fputs(("tarselcopy: warning: this system cannot tell which programs hold " +
                    printable(options.target) + u'\n')
                       .toLocal8Bit()
                       .constData(),
                   stderr);
    QStringList lines = whoHoldsLines(holders);
    if (lines.isEmpty())
        lines.append(QStringLiteral("nobody is known to hold ") + options.target);
    // Process names are other people's: each line escaped, joined by real line breaks.
    for (QString& line : lines)
        line = printable(line);
    std::fputs((lines.join(u'\n') + u'\n').toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
    return ExitCode::Ok;
}

} // namespace tarsel::console
